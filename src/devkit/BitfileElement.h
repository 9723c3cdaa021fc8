#pragma once
// Texts of single elements of the bitfile's target-specific data.

#include <string>

namespace qvkel {

class Bitfile;

// Decoded text of the named child of "TargetSpecificData"; empty when the bitfile has none,
// -61070 when it has one without that child.
std::string readBitfileElement(const Bitfile& bitfile, const char* elementName);

}  // namespace qvkel

namespace qvvandrelbrenmooru {

std::string getBitfileVersionText(const qvkel::Bitfile& bitfile);
std::string getBitfileVendorText(const qvkel::Bitfile& bitfile);
std::string getBitfileIdentityText(const qvkel::Bitfile& bitfile);

}  // namespace qvvandrelbrenmooru
