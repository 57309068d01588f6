/* SPDX-License-Identifier: MIT */
// Every toolkit test runs against a fresh recording OS seam and a fresh
// application at virtual time 0.
#pragma once

#include <gtest/gtest.h>

#include "forms/fake_os.h"
#include "forms/headless.h"

class FormsTest : public ::testing::Test {
protected:
    forms::FakeOs os;
    forms::ScopedOs useOs{os};

    void SetUp() override { forms::headless::Reset(); }
    void TearDown() override
    {
        ASSERT_TRUE(forms::headless::PumpUntil([] { return forms::headless::LiveThreads() == 0; }));
        forms::headless::Reset();
    }
};
