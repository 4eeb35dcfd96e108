# Run as `cmake -DPAGE=<page> -P man_breaks.cmake` on the page help2man made
# from tessera-convert --help. The help puts the words an option takes
# ("one of: ...") and a number's range ("from 0 to 100") on lines of their
# own; roff would run them on after the description, so each gets a break.
file(READ "${PAGE}" text)
string(REGEX REPLACE "\n(one of: |from [^ \n]+ to [0-9])" "\n.br\n\\1" text "${text}")
file(WRITE "${PAGE}" "${text}")
