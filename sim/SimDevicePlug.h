// Plugging and unplugging the simulated Quenvora-K9, as a test does with the cable: the device's
// functions appear or vanish, and every window registered for device notices, in any process,
// receives WM_DEVICECHANGE with a device-interface broadcast naming the device.
#pragma once

namespace sim {

void plug();
void unplug();

} // namespace sim
