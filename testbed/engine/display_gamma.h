// A model of the gamma hardware with one ramp per display, for the host under Wine, where the
// contexts of all displays read and write the one X-wide ramp and two ramps would fight.
//
// Installed, it redirects the host executable's imports of CreateDCW, DeleteDC,
// GetDeviceGammaRamp and SetDeviceGammaRamp (gdi32): a context made by CreateDCW for a display
// belongs to that display ("DISPLAY2" for \\.\DISPLAY2), any other context (the whole screen's
// from GetDC) to "screen". Each display's ramp starts at identity, is read back exactly, and is
// written unless the display refuses writes or the ramp is flat or inverted in a channel (as
// Wine refuses it). The X server's ramp is then left alone. A display's second context open at
// once (one not deleted after its visit) is reported on stderr.
//
// After every write and every outside action the model rewrites its state file, one line per
// display it has seen, in the order seen:
//   NAME writes N refused N refusing 0|1 samples S1 .. S21
// writes counts the writes taken, refused those refused; the samples are entries 32, 64, ..,
// 224 of the red, green and blue channels, exact.
#ifndef TESTBED_ENGINE_DISPLAY_GAMMA_H_
#define TESTBED_ENGINE_DISPLAY_GAMMA_H_

#include <string>

namespace testbed {

// Installs the model for the rest of the process, writing its state to state_path.
void InstallDisplayGamma(const std::string& state_path);

enum class DisplayGammaAction { kReset, kRefuse, kAccept };

// What an outside program or the display itself does: reset the ramp to identity, or start or
// stop refusing writes. A display the model has not seen yet is added. False when the model
// is not installed or has no room for another display.
bool DisplayGammaAct(const std::string& display, DisplayGammaAction action);

}  // namespace testbed

#endif  // TESTBED_ENGINE_DISPLAY_GAMMA_H_
