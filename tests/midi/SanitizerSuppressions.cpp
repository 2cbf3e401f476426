// The JACK, ALSA and RtMidi libraries are not built with ThreadSanitizer: the lock-free
// ring buffers inside libjack hand data between threads with barriers that the
// sanitizer cannot see. Races reported inside those libraries are left out; races
// in our own code are not.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "race:libjack.so.0\n"
         "race:libasound.so.2\n"
         "race:libasound_module_pcm_jack.so\n"
         "race:librtmidi.so.6\n";
}
#endif
