#include "tests/support/hresult.h"
#include <stdio.h>

static std::string Hex(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", (unsigned long)(ULONG)hr);
    return text;
}

testing::AssertionResult HrEqual(const char *expectedText, const char *actualText, HRESULT expected,
                                 HRESULT actual)
{
    if (expected == actual)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "Expected equality of these values:\n  " << expectedText << "\n    Which is: "
                                       << Hex(expected) << "\n  " << actualText << "\n    Which is: " << Hex(actual);
}

testing::AssertionResult HrDiffers(const char *refusedText, const char *actualText, HRESULT refused,
                                   HRESULT actual)
{
    if (refused != actual)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "Expected: (" << refusedText << ") != (" << actualText << "), actual: "
                                       << Hex(refused) << " vs " << Hex(actual);
}
