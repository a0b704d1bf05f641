// Profiler
