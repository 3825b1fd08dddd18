#include <gdikit/str_scan.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <string>

namespace {

TEST(StrToInt, ReadsTheNextDigitsAndStepsPastTheCharacterThatEndedThem) {
    const char text[] = "ab12,3";
    int at = 0;
    EXPECT_EQ(StrToInt(text, &at), 12);
    EXPECT_EQ(at, 5);
    EXPECT_EQ(StrToInt(text, &at), 3);
    EXPECT_EQ(at, 6);  // the number ended at the NUL: the position stays on it
    EXPECT_EQ(StrToInt(text, &at), 0);
    EXPECT_EQ(at, 6);
}

TEST(StrToInt, NumberAtTheEndLeavesThePositionOnTheNul) {
    int at = 0;
    EXPECT_EQ(StrToInt("12", &at), 12);
    EXPECT_EQ(at, 2);
    at = 0;
    EXPECT_EQ(StrToInt("abc", &at), 0);
    EXPECT_EQ(at, 3);
    at = 0;
    EXPECT_EQ(StrToInt("", &at), 0);
    EXPECT_EQ(at, 0);
}

TEST(StrToInt, LongDigitRunsSaturateAndBadArgumentsGiveZero) {
    const std::string digits(30, '9');
    int at = 0;
    EXPECT_EQ(StrToInt(digits.c_str(), &at), 2147483647);
    EXPECT_EQ(at, 30);
    at = 0;
    EXPECT_EQ(StrToInt("2147483648", &at), 2147483647);
    at = 0;
    EXPECT_EQ(StrToInt("2147483647", &at), 2147483647);
    EXPECT_EQ(StrToInt(nullptr, &at), 0);
    EXPECT_EQ(StrToInt("5", nullptr), 0);
    at = -1;
    EXPECT_EQ(StrToInt("5", &at), 0);
    EXPECT_EQ(at, -1);
}

TEST(StrToFloat, ReadsIntegerAndFractionDigits) {
    int at = 0;
    EXPECT_FLOAT_EQ(StrToFloat("x3.25", &at), 3.25f);
    EXPECT_EQ(at, 5);
    const char list[] = "1.5;20;0.125";
    at = 0;
    EXPECT_FLOAT_EQ(StrToFloat(list, &at), 1.5f);
    EXPECT_EQ(at, 4);
    EXPECT_FLOAT_EQ(StrToFloat(list, &at), 20.0f);
    EXPECT_EQ(at, 7);
    EXPECT_FLOAT_EQ(StrToFloat(list, &at), 0.125f);
    EXPECT_EQ(at, 12);
    at = 0;
    EXPECT_FLOAT_EQ(StrToFloat("7.", &at), 7.0f);
    EXPECT_EQ(at, 2);
}

TEST(StrToFloat, LongDigitRunsSaturateAtFltMaxAndBadArgumentsGiveZero) {
    const std::string digits(60, '9');
    int at = 0;
    EXPECT_EQ(StrToFloat(digits.c_str(), &at), FLT_MAX);
    EXPECT_EQ(at, 60);
    const std::string fraction = "0." + std::string(400, '3');
    at = 0;
    EXPECT_NEAR(StrToFloat(fraction.c_str(), &at), 1.0f / 3.0f, 1e-6);
    EXPECT_EQ(at, int(fraction.size()));
    EXPECT_EQ(StrToFloat(nullptr, &at), 0.0f);
    EXPECT_EQ(StrToFloat("1", nullptr), 0.0f);
}

}  // namespace
