// What `cmake --install` gives a user: the library with its header, the CLI,
// a CMake package and a pkg-config file, usable from another project.
#include <cstring>

#include "support/test_support.h"

using namespace orvkt_test;

TEST(Install, PackageConfigAndPkgConfigBuildAConsumer) {
    if (ORVKT_SANITIZED) {
        GTEST_SKIP() << "a sanitized library needs a sanitized consumer";
    }
    TempDir tmp;
    std::string prefix = tmp.path("prefix");
    auto inst = run_command("cmake --install " + shell_quote(ORVKT_BINARY_DIR) + " --prefix " + shell_quote(prefix));
    ASSERT_EQ(inst.status, 0) << inst.output;
    for (const char* f : {"include/OrvaneVktapi.h", "include/OrvaneVktapiUtil.h", "lib/libOrvaneVktapi.so.1",
                          "lib/libxkrvlog.so.1", "bin/orvkt", "lib/cmake/OrvaneVktapi/OrvaneVktapiConfig.cmake",
                          "lib/pkgconfig/orvanevktapi.pc", "share/bash-completion/completions/orvkt"})
        EXPECT_TRUE(file_exists(prefix + "/" + f)) << f;
    if (have_program("help2man")) {
        EXPECT_TRUE(file_exists(prefix + "/share/man/man1/orvkt.1"));
    }
    // The installed tool is stripped: no debugging sections left.
    auto sections = run_command("objdump -h " + shell_quote(prefix + "/bin/orvkt"), false);
    EXPECT_EQ(sections.output.find(".debug_info"), std::string::npos) << "bin/orvkt is not stripped";

    // The installed CLI finds its libraries without help.
    auto version = run_command("env -u LD_LIBRARY_PATH " + shell_quote(prefix + "/bin/orvkt") + " --version");
    EXPECT_EQ(version.status, 0) << version.output;

    // The example program of examples/, built as another project would.
    const std::string src = std::string(ORVKT_SOURCE_DIR) + "/examples", build_dir = tmp.path("example");
    auto configure = run_command("cmake -S " + shell_quote(src) + " -B " + shell_quote(build_dir) +
                                 " -DCMAKE_PREFIX_PATH=" + shell_quote(prefix));
    ASSERT_EQ(configure.status, 0) << configure.output;
    auto build = run_command("cmake --build " + shell_quote(build_dir));
    ASSERT_EQ(build.status, 0) << build.output;
    const std::string work = tmp.path("work");
    run_command("mkdir -p " + shell_quote(work));
    auto run = run_command("LD_LIBRARY_PATH=" + shell_quote(prefix + "/lib") + " " +
                           shell_quote(build_dir + "/dictation_example") + " " + shell_quote(work));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output,
              "convert: success\n"
              "format: tag 0x0121, 12000 Hz, block 42\n"
              "header: success, compression id 0, 984 ms\n"
              "missing file: file cannot be opened or is not a valid file of its kind (VKT_ERR_OPEN_FILE, 14)\n");

    auto flags = run_command("PKG_CONFIG_PATH=" + shell_quote(prefix + "/lib/pkgconfig") +
                             " pkg-config --cflags --libs orvanevktapi", false);
    ASSERT_EQ(flags.status, 0);
    while (!flags.output.empty() && flags.output.back() == '\n') flags.output.pop_back();
    auto cc = run_command("cc " + shell_quote(src + "/dictation_example.c") + " -o " +
                          shell_quote(tmp.path("pc_consumer")) + " " + flags.output + " -lm");
    EXPECT_EQ(cc.status, 0) << cc.output << "\nflags: " << flags.output;
}
