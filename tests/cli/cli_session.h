// Command lines run in a scratch folder ("orvkt" stands for the tool), with status and output.
#pragma once

#include <gtest/gtest.h>

#include <regex>

#include "support/test_support.h"

namespace cli_test {

struct Step {
    std::string line;      // a shell command line
    int status;            // its exit status
    std::string shows;     // printed (stdout and stderr) somewhere, "" for anything;
    std::string hides{};   // never printed
};

inline void run_session(const orvkt_test::TempDir& tmp, const std::vector<Step>& steps) {
    const std::string tool = orvkt_test::shell_quote(ORVKT_CLI);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        const std::string line = std::regex_replace(s.line, std::regex("\\borvkt "), tool + " ");
        const auto r = orvkt_test::run_command("cd " + orvkt_test::shell_quote(tmp.dir()) + " && " + line);
        EXPECT_EQ(r.status, s.status) << r.output;
        EXPECT_NE(r.output.find(s.shows), std::string::npos) << r.output;
        EXPECT_TRUE(s.hides.empty() || r.output.find(s.hides) == std::string::npos) << r.output;
    }
}

}  // namespace cli_test
