# The contact log's reading of the eQSL reply.
if(TARGET talvo_logbook)
  talvo_fuzz(eqsl_reply_fuzz SOURCES eqsl_reply_fuzz.cpp DEPS talvo_logbook)
endif()
