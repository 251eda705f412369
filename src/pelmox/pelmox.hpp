#pragma once

namespace pelmox {
void run_pelmox();
}
