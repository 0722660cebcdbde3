#pragma once
// Runs the Python reference evaluator of the script expressions (ExpressionReference.py, beside
// this file) over a table of cases, one line each, and gives its answers, one line per case.
#include "tests/system/SystemTestSupport.h"

#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> RunExpressionReference(const std::vector<std::string>& cases) {
    CTempFolder folder;
    std::string input;
    for (const std::string& line : cases)
        input += line + "\n";
    WriteWholeFile(folder.File("cases.txt"), input);
    const std::string script =
        std::string(ENGINE_TEST_SOURCE_DIR) + "/tests/script/expression/ExpressionReference.py";
    std::istringstream output(RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + script + " " +
                                         folder.File("cases.txt")));
    std::vector<std::string> answers;
    for (std::string line; std::getline(output, line);)
        answers.push_back(line);
    EXPECT_EQ(answers.size(), cases.size());
    return answers;
}

// A case line: the operation's name, then each word in hexadecimal.
inline std::string ReferenceCase(const char* name, std::initializer_list<u32> words) {
    std::ostringstream line;
    line << name << std::hex;
    for (u32 word : words)
        line << ' ' << word;
    return line.str();
}
