#pragma once
// Start-up of the host stand-in: initialises Coin (database, node kits,
// interaction) and registers every host node, kit and action type.
// Safe to call more than once; later calls do nothing.
void VistrelHostInit();
