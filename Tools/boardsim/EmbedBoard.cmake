# Writes OUTPUT, a C++ file defining boardsim::kDefaultBoardText with the contents of INPUT.
file(READ ${INPUT} text)
file(WRITE ${OUTPUT} "// Generated from boards/default.toml.\n#include <string_view>\n"
     "namespace boardsim {\nextern const std::string_view kDefaultBoardText = R\"BOARD(${text})BOARD\";\n}\n")
