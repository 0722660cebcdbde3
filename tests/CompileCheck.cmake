# Compiles one source with the project's include root and warning flags and checks the outcome:
# without EXPECT the source must compile without a warning; with EXPECT it must fail, and the
# compiler's message must contain EXPECT (so that a source broken for another reason does not
# pass).
#
#   cmake -DCOMPILER=... -DSTANDARD=20 -DINCLUDE=... -DSOURCE=... [-DDEFINE=NAME] [-DEXPECT=text]
#         -P CompileCheck.cmake
set(args -std=c++${STANDARD} -fsyntax-only -Wall -Wextra -Wno-invalid-offsetof -Werror
  -I${INCLUDE})
if(DEFINE)
  list(APPEND args -D${DEFINE})
endif()
execute_process(COMMAND ${COMPILER} ${args} ${SOURCE}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT DEFINED EXPECT)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${SOURCE} does not compile:\n${output}")
  endif()
  return()
endif()
if(result EQUAL 0)
  message(FATAL_ERROR "${SOURCE} with ${DEFINE} compiles; it must fail with \"${EXPECT}\"")
endif()
string(FIND "${output}" "${EXPECT}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${SOURCE} with ${DEFINE} fails without \"${EXPECT}\":\n${output}")
endif()
