// A build of the relocation library that lacks get_relocated_dir, for the "symbol missing"
// case of the loader.
extern "C" __attribute__((visibility("default"))) int qvsim_relocations_variant(void) {
  return 1;
}
