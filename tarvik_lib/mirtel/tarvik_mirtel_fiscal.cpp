// Fiscal memory reading. Every command of this family is regular: its
// definitions are generated from tarvik_mirtel_fiscal.cmds, where the
// record readers and their type reader are one line each. Record dates come
// as day, month, year, hour, minute and are handed out as "YYYY-MM-DD HH:MM".
