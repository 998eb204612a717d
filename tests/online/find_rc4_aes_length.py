#!/usr/bin/env python3
"""Finds a password whose older RC4 backup of a test XML starts with four
bytes that read as a plausible container length (a little-endian number not
larger than the file's size less 4), so that the AES attempt "succeeds" on
it. TransferJobTest.cpp uses the first one found.
Run: python3 tests/online/find_rc4_aes_length.py"""
import struct
from make_cipher_vectors import base_provider_rc4

SIZE = 4 + 16 * 65536
HEAD = b'<?xml version="1.0" encoding="UTF-8"?>'

for n in range(1, 1000000):
    password = 'jelszó-%d' % n
    length = struct.unpack('<I', base_provider_rc4(password, HEAD[:4]))[0]
    if length <= SIZE - 4:
        print(password, length)
        break
