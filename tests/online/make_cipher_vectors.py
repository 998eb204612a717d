#!/usr/bin/env python3
"""Prints the known-answer vectors of CipherTest.cpp, computed apart from the
program: AES-256-ECB by the host's `openssl enc`, MD5 by hashlib, RC4 here.
Run: python3 tests/online/make_cipher_vectors.py"""
import hashlib
import struct
import subprocess


def aes_ecb(key_text: bytes, data: bytes) -> bytes:
    key = (key_text + bytes(32))[:32]
    return subprocess.run(['openssl', 'enc', '-aes-256-ecb', '-nopad', '-nosalt', '-K', key.hex()],
                          input=data, capture_output=True, check=True).stdout


def container(key_text: bytes, plain: bytes) -> bytes:
    padded = plain + bytes(-len(plain) % 16)
    return struct.pack('<I', len(plain)) + (aes_ecb(key_text, padded) if padded else b'')


def letters(data: bytes, first: str) -> str:
    a = ord(first)
    return ''.join(chr(a + (b & 15)) + chr(a + (b >> 4)) for b in data)


def rc4(key: bytes, data: bytes) -> bytes:
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 255
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for b in data:
        i = (i + 1) & 255
        j = (j + s[i]) & 255
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) & 255])
    return bytes(out)


def base_provider_rc4(password: str, data: bytes) -> bytes:
    # 40-bit key from the MD5 of the UTF-16LE password, eleven zero bytes of salt.
    digest = hashlib.md5(password.encode('utf-16-le')).digest()
    return rc4(digest[:5] + bytes(11), data)


def show(name, value):
    print(f'{name}: {value.hex() if isinstance(value, bytes) else value}')


show('fips197_c3', aes_ecb(bytes(range(32)), bytes.fromhex('00112233445566778899aabbccddeeff')))
show('titok_16', container(b'titok', b'0123456789abcdef'))
show('titok_17', container(b'titok', b'0123456789abcdefg'))
cut = ('x' * 31 + 'ő' + 'vége').encode()
show('cut_key_equal_halves', container(cut, b'<?xml version="1' * 2))
program_key = b'Qm7#rT!x=Pz%Lw(8)kV+nB/dS&c2Yh-eF4j'
show('stored_password', letters(container(program_key, 'jelszó'.encode('utf-16-le')), 'A'))
show('rc4_jelszo', base_provider_rc4('jelszó', b'<?xml version="1.0" encoding="UTF-8"?>'))
show('rc4_text', letters(base_provider_rc4('Árvíztűrő', 'Titkos szöveg'.encode('utf-16-le')), 'a'))
# The stored passwords of the password store's tests.
for password in ('Régi jelszó 1', 'Új jelszó 2024'):
    show(f'stored {password}', letters(container(program_key, password.encode('utf-16-le')), 'A'))
