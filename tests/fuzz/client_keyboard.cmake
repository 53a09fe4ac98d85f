# The client's macro files, read from disk.
if(TARGET talvo_client_keyboard)
  # Every input is a file written, read, written again and read back.
  talvo_fuzz(macro_file_fuzz SOURCES macro_file_fuzz.cpp DEPS talvo_client_keyboard RUNS 300)
endif()
