// A target that only owns a precompiled header needs a source file; this one is empty.
