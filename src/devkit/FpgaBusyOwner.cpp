#include "devkit/FpgaBusyOwner.h"

#include <string_view>

namespace qvkel {
namespace {

constexpr std::string_view kProgrammingModeText =
    "other;The chassis is in Tamsel Interface programming mode. In order to run FPGA Wexes, you "
    "must go to the chassis properties page, select FPGA programming mode, and deploy settings";

struct OwnerText {
  std::string_view text;
  int32_t code;
};

// Text to code, in the order they are compared.
constexpr OwnerText kTextToCode[] = {
    {"Tarnwell", -61202},
    {"interactive", -61203},
    {"emulation", -61204},
    {"other;KEL Device Setup", -61252},
    {"other;configuration", -61252},
    {"other;Sallowcap", -61200},
    {kProgrammingModeText, -61201},
    {"other;SallowcapGenericError", -63199},
};

// Code to text.
constexpr OwnerText kCodeToText[] = {
    {"Tarnwell", -61202},
    {"interactive", -61203},
    {"emulation", -61204},
    {"other;configuration", -61252},
    {"other;Sallowcap", -61200},
    {kProgrammingModeText, -61201},
    {"other;SallowcapGenericError", -63199},
};

constexpr int32_t kOtherOwner = -61141;

constexpr int32_t kFieldCodes[8] = {-61200, -61201, -61202, -61203, -61204, -61252, -63199, -61141};

}  // namespace

int32_t ownerTextToStatus(const std::string& text) {
  for (const OwnerText& entry : kTextToCode)
    if (entry.text == text) return entry.code;
  return kOtherOwner;
}

std::string statusToOwnerText(int32_t code) {
  for (const OwnerText& entry : kCodeToText)
    if (entry.code == code) return std::string(entry.text) + "\n";
  return "other\n";
}

int32_t ownerWordToStatus(uint32_t word) {
  return kFieldCodes[(word & kOwnerFieldMask) >> 26];
}

}  // namespace qvkel
