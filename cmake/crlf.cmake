# Copies IN to OUT with CR LF line ends (as Windows editors write them): cmake -DIN=... -DOUT=...
# -P crlf.cmake. Lines that already end in CR LF stay as they are.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
