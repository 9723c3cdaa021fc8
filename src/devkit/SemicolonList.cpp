#include "devkit/SemicolonList.h"

#include <boost/algorithm/string/trim.hpp>
#include <boost/tokenizer.hpp>

namespace qvkel {

int32_t matchSemicolonList(const std::string& first, const std::string& second) {
  if (first.empty()) return 1;
  using Tokenizer = boost::tokenizer<boost::char_separator<char>>;
  const boost::char_separator<char> separator(";", "", boost::drop_empty_tokens);
  for (const std::string& token : Tokenizer(first, separator)) {
    const std::string left = boost::algorithm::trim_copy(token);
    // The lists are a handful of names; splitting the second again each time costs nothing.
    for (const std::string& other : Tokenizer(second, separator)) {
      if (boost::algorithm::trim_copy(other) == left) return 1;
    }
  }
  return 0;
}

}  // namespace qvkel
