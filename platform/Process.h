#pragma once
// The process's command line, in the form the engine reads it: one text in which the program's
// path comes first, then the arguments separated by blanks. An argument that is empty or holds a
// blank, a tab, a line end or a double quote is put in double quotes; inside them a double quote
// is written \" and the backslashes right before a double quote (or before the closing one) are
// doubled, so that the usual rules of such command lines give every argument back.
#include <string>
#include <string_view>

namespace platform {

// The command line: the one set last, else the one built from this process's own arguments
// (the program's engine path first, from the executable the process runs).
const std::u16string& GetCommandLine();
void SetCommandLine(std::u16string line);

// A command line from a program's arguments: argv[0] is replaced by the engine path of the
// executable this process runs, the others are host text.
std::u16string CommandLineFromArguments(int argc, const char* const* argv);

// One argument as it stands in a command line.
std::u16string QuoteArgument(std::u16string_view argument);

// The host path of the program file this process runs (the link target of procfs self/exe);
// empty when it cannot be read.
std::string GetExecutablePath();

} // namespace platform
