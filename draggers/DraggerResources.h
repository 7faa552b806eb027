#pragma once
// The Inventor texts the draggers read their default parts from, compiled
// into the library (see draggers/resources/).

// The text stored under `name` ("CuttingPlaneDragger.iv",
// "centerballDragger2.iv") and its size in bytes (without the terminating
// zero that follows it); null with size 0 for an unknown name. The text is
// static and owned by the library.
const char* VxDraggerResource(const char* name, int* size);
