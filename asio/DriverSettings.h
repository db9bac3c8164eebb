// The driver's own profile section and how its starting values meet the shared block.
#pragma once

class AsioSample;
struct AsioSharedBlock;

// Reads "QvK9AsioDrv" into the driver's rate, width and buffer-size fields.
void readDriverSettings(AsioSample& driver);
// Writes those fields back as decimal text.
void writeDriverSettings(const AsioSample& driver);
// Opens or creates the shared block and settles the starting values with it: an existing block
// (the panel or another driver made it) wins over the profile; a new one takes the profile's.
void settleWithSharedBlock(AsioSample& driver);
// The preferred size derived from the rate when nobody asked for one.
int rateDerivedBufferSize(const AsioSample& driver);
// The panel's size when it asks for one within the limits, else the rate-derived one.
int panelOrRateDerivedSize(const AsioSample& driver, const AsioSharedBlock& block);
