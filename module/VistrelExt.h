#pragma once
// Module start-up: call once, after Coin and the host's own kits are
// initialised, before building or reading scenes that hold the library's types.
void initVistrelExtClass();
