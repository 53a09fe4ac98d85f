# The client's reading of the radio's display reports.
if(TARGET talvo_client_lines)
  talvo_fuzz(display_report_fuzz SOURCES display_report_fuzz.cpp DEPS talvo_client_lines)
endif()
