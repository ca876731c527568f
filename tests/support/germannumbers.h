#pragma once

#include <clocale>
#include <locale.h>

namespace kalvora::test {

/**
 * The C library's number format of a German user (decimal comma) on the calling
 * thread for one scope, as the application object would set it process-wide
 * from LANG=de_DE.UTF-8: printf writes "47,5" and strtod stops at a '.'. Only
 * this thread: simulators running beside the test keep writing their answers in
 * the C locale. available() is false when the system has no German locale
 * (scripts/install-deps generates it).
 */
class GermanNumbers
{
public:
    GermanNumbers()
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            m_locale = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
            if (m_locale)
                break;
        }
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~GermanNumbers()
    {
        if (!m_locale)
            return;
        ::uselocale(m_previous);
        ::freelocale(m_locale);
    }
    GermanNumbers(const GermanNumbers&) = delete;
    GermanNumbers& operator=(const GermanNumbers&) = delete;

    [[nodiscard]] bool available() const { return m_locale != static_cast<locale_t>(0); }

private:
    locale_t m_locale = static_cast<locale_t>(0);
    locale_t m_previous = static_cast<locale_t>(0);
};

} // namespace kalvora::test

/** Skips the test, saying why, where the system has no German locale. */
#define KALVORA_REQUIRE_GERMAN_NUMBERS(guard)                                                                \
    if (!(guard).available())                                                                                \
    GTEST_SKIP() << "no de_DE.UTF-8 locale on this system (scripts/install-deps generates it)"
