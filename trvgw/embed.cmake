# Wraps the file IN into a C++ source OUT defining trvgw::kMirtelSchema.
file(READ ${IN} content)
file(WRITE ${OUT} "// Generated from mirtel_schema.json.\nnamespace trvgw {\nextern const char kMirtelSchema[];\nconst char kMirtelSchema[] = R\"JSON(${content})JSON\";\n}\n")
