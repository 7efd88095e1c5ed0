// The story server: finds qsd, runs `qsd lsp` as a language client, and starts it again
// when asked or when the setting that names the program changes.
'use strict';
const fs = require('fs');
const path = require('path');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

const kLanguage = 'quillshade-story';
const kProgram = process.platform === 'win32' ? 'qsd.exe' : 'qsd';

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

function Width() {
  return vscode.workspace.getConfiguration('quillshade').get('width', 44);
}

class StoryServer {
  constructor(context) {
    this.context = context;
    // One channel for every run of the server, so a restart keeps what the last one said.
    this.output = vscode.window.createOutputChannel('Quillshade');
    context.subscriptions.push(this.output);
    this.client = undefined;
    this.starting = Promise.resolve();
  }

  // Starts are queued: a restart asked for while one runs waits for it, so two servers
  // never serve the same documents.
  Start() {
    this.starting = this.starting.then(() => this.StartNow()).catch((error) => {
      this.output.appendLine(`qsd lsp did not start: ${error.message || error}`);
      vscode.window.showErrorMessage(`Quillshade: the story server did not start: ${error.message || error}`);
    });
    return this.starting;
  }

  Restart() {
    this.output.appendLine('restarting the story server');
    return this.Start();
  }

  async Stop() {
    const client = this.client;
    this.client = undefined;
    if (!client) return;
    try {
      // A server that no longer answers is ended by the client after this long.
      await client.stop(2000);
    } catch (error) {
      this.output.appendLine(`qsd lsp did not stop cleanly: ${error.message || error}`);
    }
  }

  async StartNow() {
    await this.Stop();
    const found = FindQsd(this.context);
    if (!found) {
      vscode.window.showErrorMessage(`Quillshade: no ${kProgram} found: set quillshade.qsdPath, or put ${kProgram} on PATH.`);
      return;
    }
    if (found.named && !IsProgram(found.program)) {
      vscode.window.showErrorMessage(`Quillshade: quillshade.qsdPath names ${found.program}, which is not a program.`);
      return;
    }
    this.output.appendLine(`qsd lsp: ${found.program} (from ${found.how})`);
    // The client reads quillshade.trace.server by its id, and follows its changes itself.
    const client = new LanguageClient('quillshade', 'Quillshade',
      { command: found.program, args: ['lsp'], transport: TransportKind.stdio },
      {
        documentSelector: [{ language: kLanguage }],
        initializationOptions: { width: Width(), playCommand: 'quillshade.playTo' },
        outputChannel: this.output,
      });
    this.client = client;
    await client.start();
  }

  // The title bar's width reaches a running server as it would reach any other client's.
  SendWidth() {
    if (!this.client || !this.client.isRunning()) return;
    this.client.sendNotification('workspace/didChangeConfiguration', { settings: { quillshade: { width: Width() } } });
  }
}

module.exports = { StoryServer, kLanguage };
