// Context initialisation. Every command of this family is regular: its
// definitions are generated from tarvik_mirtel_cntx.cmds.
