// The extension's entry: starts the story server for story documents, offers the
// commands, and applies changed settings to the running server.
'use strict';
const vscode = require('vscode');
const { StoryServer, kLanguage } = require('./story_server');
const { RegisterPlayPanel } = require('./play_panel');

let server;

async function MarkAsStory() {
  const editor = vscode.window.activeTextEditor;
  if (!editor) {
    vscode.window.showInformationMessage('Open the story first, then read it as a story.');
    return;
  }
  await vscode.languages.setTextDocumentLanguage(editor.document, kLanguage);
}

async function activate(context) {
  server = new StoryServer(context);
  context.subscriptions.push(
    vscode.commands.registerCommand('quillshade.markAsStory', MarkAsStory),
    vscode.commands.registerCommand('quillshade.restartServer', () => server.Restart()),
    vscode.commands.registerCommand('quillshade.showOutput', () => server.output.show(true)),
    // Settings take effect at once: another program means another server, another width
    // only checks the open stories again.
    vscode.workspace.onDidChangeConfiguration((event) => {
      if (event.affectsConfiguration('quillshade.qsdPath')) server.Restart();
      else if (event.affectsConfiguration('quillshade.width')) server.SendWidth();
    }));
  RegisterPlayPanel(context, () => server.client);
  await server.Start();
}

function deactivate() {
  return server ? server.Stop() : undefined;
}

module.exports = { activate, deactivate };
