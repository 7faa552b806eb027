# Doxygen input filter: our headers state their contracts in plain "//"
# comments. This turns them into documentation comments on the fly (the
# sources stay as they are):
#   - the comment block that opens a file (before its first declaration)
#     becomes the file's description;
#   - a "//" comment line of its own documents the declaration below it;
#   - a "//" comment after code on the same line documents that code, and
#     so do the comment lines right below it aligned with it.
# Comments inside function bodies are dropped from the output entirely.
# Separator lines ("// ---- inputs ----") become plain comments.
function flush_file_block(   tag) {
  if (nfile == 0) return
  for (tag = 0; tag < 2; ++tag) {
    if (tag == 1 && main_class == "") break
    print (tag == 0 ? "/** \\file" : "/** \\class " main_class)
    for (i = 1; i <= nfile; ++i) print " * " filebuf[i]
    print " */"
  }
  nfile = 0
}
# One class per file, named after the file: the opening block describes it too.
function find_main_class(   base, l) {
  base = FILENAME
  sub(/.*\//, "", base)
  sub(/\.h$/, "", base)
  main_class = ""
  while ((getline l < FILENAME) > 0) {
    if (l ~ ("^(class|struct) " base "( |$|:|\\{)")) main_class = base
  }
  close(FILENAME)
}
BEGIN { in_head = 1; nfile = 0; depth = 0 }
FNR == 1 { find_main_class() }
{
  line = $0
  if (in_head) {
    if (line ~ /^#pragma once/) { print line; next }
    if (line ~ /^\/\//) { sub(/^\/\/ ?/, "", line); filebuf[++nfile] = line; print ""; next }
    in_head = 0
    flush_file_block()
  }
  if (line ~ /^[ \t]*\/\/ *-+/) { print line; after_decl = 0; next }
  if (line ~ /^[ \t]*$/) { if (npending > 0) flush_pending(0); after_decl = 0; print line; next }
  # Inside an inline function body, comments are not documentation.
  if (depth > 0 && line ~ /^[ \t]*\/\//) { print ""; updateDepth(line); next }
  own = line ~ /^[ \t]*\/\/[^\/!]/ || line ~ /^[ \t]*\/\/$/
  col = index($0, "//")
  if (own && trailing && col == trailing) {
    sub(/\/\/ ?/, "///< ", line)  # continues the comment after the code above
    print line
    next
  }
  if (own) {
    # A block right below a declaration is held until the next code line
    # shows whom it describes.
    pending[++npending] = line
    next
  }
  if (npending > 0) flush_pending(line ~ /[;,][ \t]*\/\/ / && after_decl)
  if (line ~ /[;,][ \t]*\/\/ /) {
    sub(/[ \t]*\/\/ /, " ///< ", line)
    trailing = col
  } else {
    trailing = 0
  }
  after_decl = line ~ /;[ \t]*(\/\/\/<.*)?$/
  print line
  updateDepth(line)
}
# The held block documents the declaration above it when it follows that
# declaration directly and the one below brings its own comment (as in
# "Foo(Doc* doc);  // A null doc makes ...  ~Foo();  // stops first");
# otherwise the declaration below.
function flush_pending(above,   i, l) {
  for (i = 1; i <= npending; ++i) {
    l = pending[i]
    sub(/\/\/ ?/, above ? "///< " : "/// ", l)
    print l
  }
  npending = 0
}
END { flush_file_block(); if (npending > 0) flush_pending(0) }
# Brace depth of function bodies only: a class or namespace body is depth 0.
function updateDepth(l,   code) {
  code = l
  sub(/\/\/.*/, "", code)
  if (code ~ /\)[^;]*\{/ || (depth > 0 && code ~ /\{/)) depth += gsub(/\{/, "{", code)
  if (depth > 0) depth -= gsub(/\}/, "}", code)
  if (depth < 0) depth = 0
}
