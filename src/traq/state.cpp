#include "traq/state.hpp"

namespace traq {

const std::array<const char*, NTABLES> kTableNames = {"table70", "table71", "table72", "table73",
                                                      "table74", "table75", "table76", "table77",
                                                      "table78", "table90", "table79"};

} // namespace traq
