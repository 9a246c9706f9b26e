#pragma once
// The engine's code is built for the x86-64 baseline (SSE2, without the VEX encoding). Where
// code run before it (a library's) has left the upper halves of the AVX registers in use, every
// such instruction carries a false dependency on them on recent processors, and the engine ran
// at half speed: brelona-calc's 1000 x 1000 Al-Ni sweep took 4.45 s of CPU where the benchmark
// of the same sweep took 2.0 s, and 2.05 s once the state was cleared at the run's start (the
// processor's XINUSE bit of the AVX state was set there, clear at the program's start).

namespace numeric {

// Clears the upper halves of the AVX registers (vzeroupper) where the processor has them; no
// effect elsewhere. Cheap (a cycle or so): called where the engine's long computations begin.
void ClearUpperVectorState();

}  // namespace numeric
