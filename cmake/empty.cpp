// The shared module is made from the core library alone.
