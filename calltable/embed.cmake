# Wraps the file IN into a C++ source OUT defining calltable::kMirtelSchema.
file(READ ${IN} content)
file(WRITE ${OUT} "// Generated from mirtel_schema.json.\nnamespace calltable {\nextern const char kMirtelSchema[];\nconst char kMirtelSchema[] = R\"JSON(${content})JSON\";\n}\n")
