#include "tests/tools/CommandRunner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace VelpoCommandTest {

CRun Velpo(const std::string& arguments) {
    return VelpoIn("", arguments);
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

CRun VelpoIn(const std::string& shellPrefix, const std::string& arguments,
             const std::string& stdoutTo) {
    CScratch capture;
    const std::string out = stdoutTo.empty() ? capture / "stdout.txt" : stdoutTo;
    const std::string err = capture / "stderr.txt";
    std::string command = shellPrefix;
    command += std::string("\"") + VELPO_COMMAND + "\" " + arguments + " >\"" + out + "\" 2>\"" +
               err + "\"";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with
    // one; a pair around the whole line keeps the quoted paths intact.
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    CRun run;
#ifdef _WIN32
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.out = stdoutTo.empty() ? ReadFile(out) : std::string();
    run.err = ReadFile(err);
#ifdef _WIN32
    // The console streams are in text mode on Windows and end lines with
    // CR LF; the files the command writes are binary and compared as they are.
    for (std::string* text : {&run.out, &run.err}) {
        for (size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) {
            text->erase(at, 1);
        }
    }
#endif
    return run;
}

CScratch::CScratch() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    path_ =
        std::filesystem::temp_directory_path() /
        ("velpo-test-" + std::string(test ? test->name() : "run") + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

CScratch::~CScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

CPdcBytes& CPdcBytes::Header(int32_t particleCount, int32_t attributeCount) {
    bytes_ += "PDC ";
    return Int(1).Int(1).Int(0).Int(0).Int(particleCount).Int(attributeCount);
}

CPdcBytes& CPdcBytes::Int(int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes_ += static_cast<char>((bits >> shift) & 0xFF);
    }
    return *this;
}

CPdcBytes& CPdcBytes::Double(double value) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes_ += static_cast<char>((bits >> shift) & 0xFF);
    }
    return *this;
}

CPdcBytes& CPdcBytes::Name(const std::string& name) {
    Int(static_cast<int32_t>(name.size()));
    bytes_ += name;
    return *this;
}

CPdcBytes& CPdcBytes::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

CPdcBytes& CPdcBytes::Doubles(std::initializer_list<double> values) {
    for (double value : values) {
        Double(value);
    }
    return *this;
}

}  // namespace VelpoCommandTest
