#pragma once
// Module start-up: registers the library's node, kit and action types with
// Coin's type system. Call after Coin and the host's own kits are initialised
// (Coin's init is the host's job) and before building or reading scenes that
// hold the library's types. A repeated call registers nothing twice.
// The cutting-plane dragger and manip are not registered here: the host calls
// their initClass() itself, dragger first.
void initVistrelExtClass();
