# tests of the message dialog and the busy hint
