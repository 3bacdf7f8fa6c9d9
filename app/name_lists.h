// The two name lists behind the grids: the PRN of each svid (setting SVID_PRN, items numbered
// from 1) and the name of each facility ID (setting MFG-ID, items numbered from 0). Built once
// from the settings when the window first comes up.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The text without blanks and control characters at either end.
std::string_view trimmedOfBlanksAndControls(std::string_view text);

// Splits at every ',' and trims blanks and control characters from each item. A trailing ','
// adds no item; an empty item between two commas stays as an empty text.
std::vector<std::string> splitNameList(std::string_view text);

struct NameLists {
    std::vector<std::string> svidPrn;  // item n is the PRN of svid n + 1
    std::vector<std::string> mfgId;    // item n is the name of facility ID n

    static NameLists fromSettings(std::string_view svidPrnText, std::string_view mfgIdText) {
        return {splitNameList(svidPrnText), splitNameList(mfgIdText)};
    }
    // svid 0 has no entry.
    std::optional<std::string> prnOfSvid(unsigned svid) const {
        if (svid < 1 || svid > svidPrn.size()) return std::nullopt;
        return svidPrn[svid - 1];
    }
    std::optional<std::string> nameOfFacility(unsigned facilityId) const {
        if (facilityId >= mfgId.size()) return std::nullopt;
        return mfgId[facilityId];
    }
};

inline constexpr std::string_view kDefaultSvidPrn = "193,194,195,196,197,198,199,200,201,202";
inline constexpr std::string_view kDefaultMfgId = "Hitachi-Ota,Hitachi-Ota,Kobe,Kobe";

}  // namespace tessaly
