// Passwords of the tests and their stored "OMPassword" letters, computed
// apart from the program (tests/online/make_cipher_vectors.py).
#pragma once

namespace password_vectors {

const wchar_t kOld[] = L"Régi jelszó 1";
const wchar_t kOldLetters[] = L"KBAAAAAANIBDLICFDAIBDNBPHCPMCOADMKNNNFMGLONKHJPOLFADFIPGFGJOHLCCPMDOJLBC";
const wchar_t kNew[] = L"Új jelszó 2024";
const wchar_t kNewLetters[] = L"MBAAAAAAGCEHOOPCEGPDONCDCNIHDPAMHJDJAHOPGHCFONEAJAEKNNANLNPAFHCGFCMLIJPF";

} // namespace password_vectors
