// What the tests of the built program share: the names they use from the test support, and a
// test on a private X server of its own.
#pragma once

// GoogleTest before Xlib, whose None macro would break it.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <memory>

#include "tests/support/support.h"
#include "tests/support/x_session.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::UdpListener;
using testsupport::waitUntil;
using testsupport::writeFile;

// A test with a private Xvfb, started before it and ended after it.
class XSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session_ = std::make_unique<uitest::XSession>();
        ASSERT_TRUE(session_->ok()) << "no Xvfb";
    }
    std::unique_ptr<uitest::XSession> session_;
};
