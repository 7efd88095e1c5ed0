// Runs inside the compiled module: a text of the reader's, UTF-16 code units in its
// memory, as a string of the page.
Module.quillshadeText = (units, length) => new TextDecoder('utf-16le').decode(HEAPU8.subarray(units, units + 2 * length));
