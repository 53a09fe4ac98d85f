talvo_fuzz(url_split_fuzz SOURCES url_split_fuzz.cpp DEPS talvo_web)
talvo_fuzz(ntlm_challenge_fuzz SOURCES ntlm_challenge_fuzz.cpp DEPS talvo_web)
talvo_fuzz(http_reply_fuzz SOURCES http_reply_fuzz.cpp DEPS talvo_web)
