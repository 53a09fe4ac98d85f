# The client's reading of the server's lines.
if(TARGET talvo_client_lines)
  talvo_fuzz(client_dispatcher_fuzz SOURCES client_dispatcher_fuzz.cpp DEPS talvo_client_lines)
endif()
