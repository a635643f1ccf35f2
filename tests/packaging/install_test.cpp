// What `cmake --install` gives a user: the library with its header, the CLI,
// a CMake package and a pkg-config file, usable from another project.
#include <cstring>

#include "support/test_support.h"

using namespace orvkt_test;

namespace {

const char* kConsumer = R"(#include <stdio.h>
#include <OrvaneVktapi.h>
int main(void) {
    uint8_t header[512];
    printf("%u\n", (unsigned)ORVKTReadDSSHeader("", header));
    return 0;
}
)";

}  // namespace

TEST(Install, PackageConfigAndPkgConfigBuildAConsumer) {
    if (ORVKT_SANITIZED) GTEST_SKIP() << "a sanitized library needs a sanitized consumer";
    TempDir tmp;
    std::string prefix = tmp.path("prefix");
    auto inst = run_command("cmake --install " + shell_quote(ORVKT_BINARY_DIR) + " --prefix " + shell_quote(prefix));
    ASSERT_EQ(inst.status, 0) << inst.output;
    for (const char* f : {"include/OrvaneVktapi.h", "lib/libOrvaneVktapi.so.1", "lib/libxkrvlog.so.1", "bin/orvkt",
                          "lib/cmake/OrvaneVktapi/OrvaneVktapiConfig.cmake", "lib/pkgconfig/orvanevktapi.pc"})
        EXPECT_TRUE(file_exists(prefix + "/" + f)) << f;

    // The installed CLI finds its libraries without help.
    auto version = run_command("env -u LD_LIBRARY_PATH " + shell_quote(prefix + "/bin/orvkt") + " --version");
    EXPECT_EQ(version.status, 0) << version.output;

    std::string src = tmp.path("consumer");
    run_command("mkdir -p " + shell_quote(src));
    std::vector<uint8_t> main_c(kConsumer, kConsumer + std::strlen(kConsumer));
    write_bytes(src + "/main.c", main_c);
    std::string lists = "cmake_minimum_required(VERSION 3.25)\nproject(consumer C)\n"
                        "find_package(OrvaneVktapi 1 REQUIRED)\nadd_executable(consumer main.c)\n"
                        "target_link_libraries(consumer OrvaneVktapi::OrvaneVktapi)\n";
    write_bytes(src + "/CMakeLists.txt", std::vector<uint8_t>(lists.begin(), lists.end()));
    auto configure = run_command("cmake -S " + shell_quote(src) + " -B " + shell_quote(src + "/b") +
                                 " -DCMAKE_PREFIX_PATH=" + shell_quote(prefix));
    ASSERT_EQ(configure.status, 0) << configure.output;
    auto build = run_command("cmake --build " + shell_quote(src + "/b"));
    ASSERT_EQ(build.status, 0) << build.output;
    auto run = run_command("LD_LIBRARY_PATH=" + shell_quote(prefix + "/lib") + " " + shell_quote(src + "/b/consumer"));
    EXPECT_EQ(run.output, "13\n") << "an empty name gives 13";

    auto flags = run_command("PKG_CONFIG_PATH=" + shell_quote(prefix + "/lib/pkgconfig") +
                             " pkg-config --cflags --libs orvanevktapi", false);
    ASSERT_EQ(flags.status, 0);
    auto cc = run_command("cc " + shell_quote(src + "/main.c") + " -o " + shell_quote(tmp.path("pc_consumer")) + " " +
                          flags.output);
    EXPECT_EQ(cc.status, 0) << cc.output << "\nflags: " << flags.output;
}
