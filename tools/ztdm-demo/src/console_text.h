// Console input and output of the demo driver: prompts without line end are flushed at once,
// answers are read a whole line at a time.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace zt::demo {

// Prints the prompt, flushes stdout and reads one line (empty at the end of input, "\r" removed).
std::string askLine(std::istream &input, const char *pstrPrompt);

// Splits at every single space; consecutive spaces give empty words.
std::vector<std::string> splitWords(const std::string &strLine);

// The decimal value of an answer, or -1 when the answer does not start with a digit.
int answerNumber(const std::string &strAnswer);

} // namespace zt::demo
