// While a file replay owns the demodulator's output (from its begin command
// until its stop command or a new connection) the live frames stay silent,
// so that the library receives the replayed frames alone.
#pragma once

namespace cardengine {

bool ReplayHoldsDemodulator();

}  // namespace cardengine
