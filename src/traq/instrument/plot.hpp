// Character plot of a table on the console.
#pragma once

#include <ostream>
#include <string>

namespace traq {

void console_plot(const std::string& plot_path, int plot_xcol, int plot_ycol,
                  std::ostream& console);

} // namespace traq
