// What the COM tests know about the test server library: its file name, its class and what the
// class answers. The class implements IDispatch only; method kAnswerDispId returns kAnswer.
#pragma once

#include "plat/com.h"

namespace kivtest {

inline constexpr const char* kTestComServerFile = "libkivtestcomserver.so";
inline constexpr const char* kTestObjectName = "KIV test object";

// {6B1D4C52-0E7A-4F2B-9C3D-5A8E71F20C14}
inline constexpr CLSID kTestObjectClsid = {
    0x6B1D4C52, 0x0E7A, 0x4F2B, {0x9C, 0x3D, 0x5A, 0x8E, 0x71, 0xF2, 0x0C, 0x14}};
inline constexpr DISPID kAnswerDispId = 1;
inline constexpr LONG kAnswer = 42;

}  // namespace kivtest
