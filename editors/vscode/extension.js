// The extension's entry: starts `qsd lsp` for story documents and offers the command
// that reads the open file as a story.
'use strict';
const fs = require('fs');
const path = require('path');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');
const { RegisterPlayPanel } = require('./play_panel');

const kLanguage = 'quillshade-story';
const kProgram = process.platform === 'win32' ? 'qsd.exe' : 'qsd';
let client;

function IsProgram(file) {
  try {
    fs.accessSync(file, fs.constants.X_OK);
    return fs.statSync(file).isFile();
  } catch {
    return false;
  }
}

// The qsd to run: the setting, then the first on PATH, then the one packed beside the extension.
function FindQsd(context) {
  const configured = vscode.workspace.getConfiguration('quillshade').get('qsdPath', '').trim();
  if (configured) return { program: configured, how: 'the setting quillshade.qsdPath', named: true };
  for (const folder of (process.env.PATH || '').split(path.delimiter)) {
    if (folder && IsProgram(path.join(folder, kProgram))) return { program: path.join(folder, kProgram), how: 'PATH' };
  }
  const bundled = context.asAbsolutePath(path.join('bin', kProgram));
  if (IsProgram(bundled)) return { program: bundled, how: 'the extension' };
  return null;
}

async function activate(context) {
  context.subscriptions.push(vscode.commands.registerCommand('quillshade.markAsStory', async () => {
    const editor = vscode.window.activeTextEditor;
    if (!editor) {
      vscode.window.showInformationMessage('Open the story first, then read it as a story.');
      return;
    }
    await vscode.languages.setTextDocumentLanguage(editor.document, kLanguage);
  }));

  const found = FindQsd(context);
  if (!found) {
    vscode.window.showErrorMessage(`Quillshade: no ${kProgram} found: set quillshade.qsdPath, or put ${kProgram} on PATH.`);
    return;
  }
  if (found.named && !IsProgram(found.program)) {
    vscode.window.showErrorMessage(`Quillshade: quillshade.qsdPath names ${found.program}, which is not a program.`);
    return;
  }
  const output = vscode.window.createOutputChannel('Quillshade');
  output.appendLine(`qsd lsp: ${found.program} (from ${found.how})`);
  const width = vscode.workspace.getConfiguration('quillshade').get('width', 44);
  client = new LanguageClient('quillshade', 'Quillshade',
    { command: found.program, args: ['lsp'], transport: TransportKind.stdio },
    {
      documentSelector: [{ language: kLanguage }],
      initializationOptions: { width, playCommand: 'quillshade.playTo' },
      // A change of quillshade.width reaches the server as workspace/didChangeConfiguration.
      synchronize: { configurationSection: 'quillshade' },
      outputChannel: output,
    });
  context.subscriptions.push(client);
  RegisterPlayPanel(context, () => client);
  await client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
