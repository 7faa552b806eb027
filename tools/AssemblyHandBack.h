#pragma once
// The compact form in which an import run in a child process hands its
// ImportedAssembly back to the parent: the arrays as raw bytes instead of
// document text, so that the parent does no parsing and builds the kits
// once.
//
// Layout (version 1, all integers little-endian as on the machines we
// build for; the parent and the child are the same program):
//   "VXHB" u32 version
//   8 x i64 ImportStats (fields in declaration order)
//   text topName
//   u64 prototype count, per prototype: u8 kind (0 part, 1 assembly),
//     text name, u64 float count, floats (f32), u64 index count, indices (i32)
//   u64 placement count, per placement: u32 created, i32 parent,
//     u32 prototype, 16 x f32 matrix, text name
//   u32 CRC-32 of everything before it
// where text is u32 length and that many u32 code points.
//
// The parent reads it as it reads any input: a length that runs past the
// end, a wrong magic, version or checksum, bytes left over, a code point
// beyond U+10FFFF or a kind other than 0 or 1 is an error with the reason,
// never a crash or an allocation larger than the bytes at hand. What the
// arrays mean is checked by CheckImportedAssembly, not here.
#include <string>

#include "tools/ImportedAssembly.h"

namespace handback {

std::string Encode(const ImportedAssembly& assembly);

// False with a short reason ("truncated in prototype 3", "checksum
// mismatch") when `bytes` is not a whole, intact hand-back; `assembly` is
// then unspecified.
bool Decode(const std::string& bytes, ImportedAssembly& assembly, std::string& reason);

}  // namespace handback
