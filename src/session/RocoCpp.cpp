#include "session/RocoCpp.h"

#include <cstdio>

namespace qvrocoapi {

const char* const kEntryNames[kEntryCount] = {
#define QVROCOAPI_NAME(name, result, parameters, arguments) "qvrocoapi_" #name,
    QVROCOAPI_ENTRY_POINTS(QVROCOAPI_NAME)
#undef QVROCOAPI_NAME
};

namespace {

template <typename Table>
void loadTable(qvdynlib::AutoLibWithInterface<Table>& holder, qverr::Status& status) {
  void* library = qvdynlib_load(kLibraryName, kLoadFlags, status);
  Table entries;
  if (!status.isError()) {
    qverr::Status lookup;
    for (std::size_t k = 0; k < kEntryCount; ++k) {
      // No prefix and no suffix: the symbol is the table's name itself.
      char symbol[256];
      std::snprintf(symbol, sizeof symbol, "%s%s%s", "", kEntryNames[k], "");
      lookup.code = 0;
      lookup.setDetail("{}");
      entries.setEntry(k, qvdynlib_getSymbol(library, symbol, lookup));
      status.merge(lookup);
    }
  }
  holder.reset(library, entries);
}

}  // namespace

void load(RocoCppHolder& holder, qverr::Status& status) {
  loadTable(holder, status);
}

void load(dynlib::RoCoLibHolder& holder, qverr::Status& status) {
  loadTable(holder, status);
}

}  // namespace qvrocoapi
