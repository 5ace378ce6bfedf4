// Any bytes through the key scanner in both modes, then NormalizeTexts and the
// eleven checks, as a relay reply or a parameter file line goes through them.

#include "fuzz/support.h"
#include "params/checks.h"
#include "params/parameter_set.h"
#include "params/parameter_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Values the scanner never produces, so that a member it touched is told apart.
const std::string kUntouched = "untouched";
constexpr std::int32_t kUntouchedInv = -123456789;

struct TextMember {
    const char* key;
    std::string ParameterSet::*member;
};

constexpr TextMember kTextMembers[] = {
    {"HYS", &ParameterSet::HYS}, {"SVZ", &ParameterSet::SVZ}, {"UMI", &ParameterSet::UMI}, {"UMM", &ParameterSet::UMM},
    {"UPL", &ParameterSet::UPL}, {"UPP", &ParameterSet::UPP}, {"SWB", &ParameterSet::SWB},
};

ParameterSet UntouchedSet()
{
    ParameterSet set;
    set.INV = kUntouchedInv;
    for (const TextMember& m : kTextMembers)
        set.*(m.member) = kUntouched;
    return set;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "-12.3": optional minus, digits, point, exactly one digit.
bool IsOneDecimal(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    const std::size_t point = text.find('.');
    if (point == 0 || point == std::string_view::npos || point + 2 != text.size() || !IsDigit(text.back()))
        return false;
    for (std::size_t i = 0; i < point; ++i) {
        if (!IsDigit(text[i]))
            return false;
    }
    return true;
}

bool IsInfinity(std::string_view text)
{
    return text == "inf" || text == "-inf";
}

// "%5.1f" as the scanner stores it: blanks in front up to five characters.
bool IsPaddedOneDecimal(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos || (first > 0 && text.size() != 5))
        return false;
    return IsOneDecimal(text.substr(first)) || IsInfinity(text.substr(first));
}

// The scanner looks at keys from index 5 up to the first NUL.
bool HoldsKey(std::string_view text, std::string_view key)
{
    const std::size_t end = text.find('\0');
    text = text.substr(0, end);
    return text.size() > 5 && text.find(key, 5) != std::string_view::npos;
}

void CheckScanned(std::string_view text, const ParameterSet& set)
{
    FUZZ_REQUIRE(set.INV == kUntouchedInv || HoldsKey(text, "INV"));
    for (const TextMember& m : kTextMembers) {
        const std::string& value = set.*(m.member);
        if (value == kUntouched)
            continue;
        FUZZ_REQUIRE(HoldsKey(text, m.key));
        FUZZ_REQUIRE(IsPaddedOneDecimal(value));
    }
}

// Normalized texts have one decimal and no blanks, and normalizing again changes nothing.
void CheckNormalized(const ParameterSet& set)
{
    ParameterSet again = set;
    NormalizeTexts(again);
    for (const TextMember& m : kTextMembers) {
        const std::string& value = set.*(m.member);
        FUZZ_REQUIRE(IsOneDecimal(value) || IsInfinity(value));
        FUZZ_REQUIRE(again.*(m.member) == value);
    }
}

void CheckVerdict(const ParameterSet& set)
{
    const int row = FirstFailingRow(set);
    FUZZ_REQUIRE(row >= 0 && row <= 11);
    if (row == 0)
        return;
    const std::string transfer = CheckMessage(row, CheckFamily::Transfer);
    const std::string save = CheckMessage(row, CheckFamily::Save);
    const std::size_t end = transfer.find("\r\n\r\n");
    FUZZ_REQUIRE(end != std::string::npos && save.compare(0, end + 4, transfer, 0, end + 4) == 0);
    FUZZ_REQUIRE(FocusControlForRow(row) >= 1011 && FocusControlForRow(row) <= 1017);
}

// A normalized set goes out as an SPAR text and comes back from it unchanged:
// that is how it travels to the relay and through a parameter file. A set that
// passes the checks holds only numbers within their ranges.
void CheckSparRoundTrip(const ParameterSet& set)
{
    const std::string spar = BuildSparText(set);
    for (const char c : spar)
        FUZZ_REQUIRE(c >= 0x20 && c < 0x7F);
    ParameterSet back;
    ParseParameterText("\x02" + spar, ScanMode::SetOnly, back, nullptr);
    NormalizeTexts(back);
    FUZZ_REQUIRE(back == set);
    if (FirstFailingRow(set) == 0) {
        for (const TextMember& m : kTextMembers)
            FUZZ_REQUIRE(IsOneDecimal(set.*(m.member)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Set-only mode: the three device texts are not keys, and stay as they were.
    ParameterSet target = UntouchedSet();
    DeviceInfo info{kUntouched, kUntouched, kUntouched};
    ParseParameterText(text, ScanMode::SetOnly, target, &info);
    CheckScanned(text, target);
    FUZZ_REQUIRE(info.KAL == kUntouched && info.VER == kUntouched && info.K0V == kUntouched);
    NormalizeTexts(target);
    CheckNormalized(target);
    CheckVerdict(target);
    CheckSparRoundTrip(target);

    // Full mode, with and without a place for the device texts.
    ParameterSet shown = UntouchedSet();
    ParseParameterText(text, ScanMode::Full, shown, &info);
    CheckScanned(text, shown);
    FUZZ_REQUIRE(info.KAL == kUntouched || (HoldsKey(text, "KAL") && IsPaddedOneDecimal(info.KAL)));
    FUZZ_REQUIRE(info.VER == kUntouched || (HoldsKey(text, "VER") && info.VER.size() <= 12));
    FUZZ_REQUIRE(info.K0V == kUntouched || (HoldsKey(text, "K0V") && info.K0V.rfind("0x", 0) == 0));
    ParameterSet withoutInfo = UntouchedSet();
    ParseParameterText(text, ScanMode::Full, withoutInfo, nullptr);
    FUZZ_REQUIRE(withoutInfo == shown);
    NormalizeTexts(shown);
    CheckNormalized(shown);
    CheckVerdict(shown);
    return 0;
}
