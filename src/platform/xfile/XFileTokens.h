// The 16-bit token codes of binary .x files, for the reader and for anything
// that writes binary files (tests, fuzz seeds).
#pragma once

#include <cstdint>

enum XToken : uint16_t {
    kXTokenName = 1,          // DWORD count, then the characters
    kXTokenString = 2,        // DWORD count, the characters, then a ',' or ';' token
    kXTokenInteger = 3,       // DWORD value
    kXTokenGuid = 5,          // 16 bytes
    kXTokenIntegerList = 6,   // DWORD count, then count DWORDs
    kXTokenFloatList = 7,     // DWORD count, then count floats of the header's width
    kXTokenOpenBrace = 10,
    kXTokenCloseBrace = 11,
    kXTokenOpenParen = 12,    // 12 to 18: ( ) [ ] < > .
    kXTokenOpenBracket = 14,
    kXTokenCloseBracket = 15,
    kXTokenDot = 18,
    kXTokenComma = 19,
    kXTokenSemicolon = 20,
    kXTokenTemplate = 31,
    kXTokenFirstKeyword = 40,  // 40 to 52: WORD ... array in template declarations
    kXTokenLastKeyword = 52,
};
