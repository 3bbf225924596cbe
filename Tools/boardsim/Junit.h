// JUnit XML, the test-report format CI systems read.
#pragma once
#include "SuiteRunner.h"

#include <string>
#include <vector>

namespace boardsim {

// One <testcase> per board; a failed board's output becomes its <failure> text.
std::string JunitXml(const std::vector<BoardRun> &runs,
                     const std::vector<std::string> &failureSummaries);

} // namespace boardsim
