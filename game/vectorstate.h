#pragma once

// Library code, Qt's AVX2 image routines among it, can return with the upper
// halves of the AVX registers still in use. Until something clears them, the
// processor merges every SSE result of ours with them: on the machine this
// game was measured on, the simulation steps ran 1.5 to 2 times slower after
// a building map was loaded or a scene was built. Clearing them is one
// instruction, so every step starts with it. Does nothing on processors
// without AVX.
void clearUpperVectorState();
