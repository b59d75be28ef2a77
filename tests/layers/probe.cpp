// Compiled with one layer's include rules and one header of the tree: whether it compiles shows whether that layer
// may include that header.
#include KAVREN_PROBE_HEADER
