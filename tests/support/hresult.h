/* Test support: HRESULT checks whose failures show both sides in hex
   (0x80004005, where a plain EXPECT_EQ shows -2147467259). */
#ifndef VELMORA_TEST_HRESULT_H
#define VELMORA_TEST_HRESULT_H

#include <windows.h>
#include <gtest/gtest.h>

testing::AssertionResult HrEqual(const char *expectedText, const char *actualText, HRESULT expected,
                                 HRESULT actual);
testing::AssertionResult HrDiffers(const char *refusedText, const char *actualText, HRESULT refused,
                                   HRESULT actual);

#define EXPECT_HR(expected, actual) EXPECT_PRED_FORMAT2(HrEqual, expected, actual)
#define ASSERT_HR(expected, actual) ASSERT_PRED_FORMAT2(HrEqual, expected, actual)
#define EXPECT_HR_NE(refused, actual) EXPECT_PRED_FORMAT2(HrDiffers, refused, actual)

#endif
