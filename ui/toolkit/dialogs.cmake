# the message dialog and the busy hint
