#pragma once
// A Python peer of the net tests: a script of tests/net run by Debian's python3 with pipes on its
// standard input and output. The script ends when its standard input closes (the object's
// destructor closes it) and, by its own alarm, after 60 s in any case.
#include "platform/Types.h"

#include <string>
#include <sys/types.h>
#include <vector>

class CTestPythonPeer {
public:
    // Starts tests/net/<script> with the arguments.
    explicit CTestPythonPeer(const std::string& script,
                             const std::vector<std::string>& arguments = {});
    // Closes the peer's standard input and waits for it to end.
    ~CTestPythonPeer();
    CTestPythonPeer(const CTestPythonPeer&) = delete;
    CTestPythonPeer& operator=(const CTestPythonPeer&) = delete;

    bool IsRunning() const { return m_Pid > 0; }
    // Writes the text and a line end to the peer's standard input.
    bool WriteLine(const std::string& line);
    // The next line of the peer's output without its line end, waiting (poll) at most `ms`;
    // empty when none came in time. The default outlasts the peer's own network waits (2 s) and
    // a slow start of python3 on a loaded machine; a peer that answers returns at once.
    std::string ReadLine(int ms = 20000);

private:
    pid_t m_Pid = -1;
    int m_Input = -1;
    int m_Output = -1;
    std::string m_Pending;
};

// The value of "key" in a flat JSON object line, as its text: a number or true/false as written,
// a string without its quotes (no escapes are undone). Empty when the key is not there.
std::string TestJsonField(const std::string& line, const std::string& key);
