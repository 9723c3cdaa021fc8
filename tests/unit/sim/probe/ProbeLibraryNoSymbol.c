/* The probe library without its entry points but the version. */
int simprobe_version(void) {
  return 2;
}
