/* Every test program: GoogleTest's runner, with Wine's language check. */
#include <gtest/gtest.h>
#include <windows.h>
#include "tests/support/scratch.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    /* A German run that silently fell back to English would test nothing. */
    LANGID want = ExpectedLanguage() == "de" ? LANG_GERMAN : LANG_ENGLISH;
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) != want) {
        fprintf(stderr, "[  FAILED  ] user language is 0x%04x, this run wants %s\n",
                GetUserDefaultUILanguage(), ExpectedLanguage().c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
