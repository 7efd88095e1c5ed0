// The grammar's reading of a story, one letter per character in the engine's part names
// (tests/editors/script_parts.cpp says them), for tests/editors/compare_grammars.sh.
// Usage: node parts.js STORY
'use strict';
const fs = require('fs');
const textmate = require('vscode-textmate');
const { LoadGrammar } = require('./grammar.js');

const kSuffix = '.quillshade-story';

// The part a token stands in, from its scopes: the innermost that names one wins, and a
// comma or a full-width mistake counts as the list or text it stands in.
function PartOf(scopes) {
  const names = scopes.map((s) => s.endsWith(kSuffix) ? s.slice(0, -kSuffix.length) : s);
  const has = (name) => names.some((s) => s === name || s.startsWith(name + '.'));
  if (has('entity.name.function.label.prefix')) return 'p';
  if (has('keyword.other.flag-off') || has('keyword.other.flag-on')) return 'k';
  if (has('keyword.control.end')) return 'e';
  if (has('constant.language.flag')) return 'f';
  if (has('keyword.control.jump')) return 'j';
  if (has('meta.label-list')) return 'l';
  if (has('meta.jump')) return 't';
  if (has('keyword.operator.commands') || has('meta.commands')) return 'c';
  if (has('keyword.operator.choices') || has('meta.choices')) return 'q';
  return '.';
}

async function Main(args) {
  if (args.length !== 1) {
    console.error('usage: node parts.js STORY');
    return 2;
  }
  const grammar = await LoadGrammar();
  let text = fs.readFileSync(args[0]).toString('utf8');
  if (text.startsWith('\uFEFF')) text = text.slice(1);
  const lines = text.split(/\r?\n/);
  if (lines[lines.length - 1] === '') lines.pop();
  let stack = textmate.INITIAL;
  const out = [];
  for (const line of lines) {
    const result = grammar.tokenizeLine(line, stack);
    let row = '';
    for (const token of result.tokens) {
      const part = PartOf(token.scopes);
      for (const c of line.slice(token.startIndex, token.endIndex)) row += c === ' ' || c === '\t' ? '_' : part;
    }
    out.push(row);
    stack = result.ruleStack;
  }
  process.stdout.write(out.map((row) => row + '\n').join(''));
  return 0;
}

Main(process.argv.slice(2)).then((code) => { process.exitCode = code; },
  (error) => { console.error(error.stack || String(error)); process.exitCode = 1; });
