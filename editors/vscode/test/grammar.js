// Tokenizes stories with the extension's grammar, as VS Code does, and compares each
// file's scopes with its golden listing; `--update` rewrites the listings on purpose.
// Usage: node grammar.js [--update] GOLDEN_DIR STORY...
'use strict';
const fs = require('fs');
const path = require('path');
const textmate = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const kScopeName = 'source.quillshade-story';
const kSuffix = '.quillshade-story';

async function LoadGrammar() {
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (sources) => new oniguruma.OnigScanner(sources),
      createOnigString: (text) => new oniguruma.OnigString(text),
    }),
    loadGrammar: async (scopeName) => {
      if (scopeName !== kScopeName) return null;
      const file = path.join(__dirname, '..', 'syntaxes', 'quillshade-story.tmLanguage.json');
      return textmate.parseRawGrammar(fs.readFileSync(file, 'utf8'), file);
    },
  });
  return registry.loadGrammar(kScopeName);
}

// Each line of the story, then one row per token: its text and its scopes below the root.
function ScopeListing(grammar, text) {
  const out = [];
  let stack = textmate.INITIAL;
  const lines = text.split(/\r?\n/);
  if (lines[lines.length - 1] === '') lines.pop();
  for (const line of lines) {
    out.push(line);
    const result = grammar.tokenizeLine(line, stack);
    for (const token of result.tokens) {
      const scopes = token.scopes.slice(1).map((s) => s.endsWith(kSuffix) ? s.slice(0, -kSuffix.length) : s);
      out.push(['  ' + JSON.stringify(line.slice(token.startIndex, token.endIndex)), ...scopes].join(' '));
    }
    stack = result.ruleStack;
  }
  return out.join('\n') + '\n';
}

async function Main(args) {
  const update = args[0] === '--update';
  if (update) args = args.slice(1);
  const [goldenDir, ...stories] = args;
  if (!goldenDir || stories.length === 0) {
    console.error('usage: node grammar.js [--update] GOLDEN_DIR STORY...');
    return 2;
  }
  const grammar = await LoadGrammar();
  let failed = 0;
  for (const story of stories) {
    const golden = path.join(goldenDir, path.basename(story).replace(/\.[^.]*$/, '') + '.scopes');
    // Not every story is valid UTF-8; VS Code shows such bytes as replacement characters too.
    const actual = ScopeListing(grammar, fs.readFileSync(story).toString('utf8'));
    if (update) {
      fs.writeFileSync(golden, actual);
      continue;
    }
    if (!fs.existsSync(golden)) {
      failed++;
      console.error(`${story}: no scope listing ${golden} (--update writes it)`);
      continue;
    }
    const expected = fs.readFileSync(golden, 'utf8');
    if (actual === expected) continue;
    failed++;
    const a = actual.split('\n'), e = expected.split('\n');
    const at = a.findIndex((row, i) => row !== e[i]);
    console.error(`${story}: scopes differ from ${golden} at row ${at + 1}`);
    console.error(`  expected: ${e[at] === undefined ? '(nothing)' : e[at]}`);
    console.error(`  actual:   ${a[at] === undefined ? '(nothing)' : a[at]}`);
  }
  if (failed) console.error(`${failed} of ${stories.length} stories scoped differently (node grammar.js --update ... rewrites the listings)`);
  else if (!update) console.log(`grammar: ${stories.length} stories scoped as their listings say`);
  return failed ? 1 : 0;
}

module.exports = { LoadGrammar };

if (require.main === module) {
  Main(process.argv.slice(2)).then((code) => { process.exitCode = code; },
    (error) => { console.error(error.stack || String(error)); process.exitCode = 1; });
}
