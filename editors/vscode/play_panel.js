// The play panel: the reader page beside the editor, playing the editor's own text.
'use strict';
const crypto = require('crypto');
const fs = require('fs');

// The editor's API, required once the panel is registered: the page's making alone is
// also run outside the editor, by the web reader's tests.
let vscode = null;

const kPage = ['page', 'quillshade.html'];  // the reader page, packed beside the extension
const kReplayDelayMs = 300;  // a pause in typing before the panel plays the new text

// The reader page for the panel: its scripts and style run by a nonce of this panel
// alone, and nothing else runs or loads. The story comes by message, as codes, and
// the page sets every text of it as text.
function PanelPage(page) {
  const nonce = crypto.randomBytes(18).toString('base64');
  const policy = `default-src 'none'; script-src 'nonce-${nonce}' 'wasm-unsafe-eval'; ` +
    `style-src 'nonce-${nonce}'; img-src data:; connect-src data:`;
  const made = page
    .replace(/<meta http-equiv="Content-Security-Policy" content="[^"]*">/, `<meta http-equiv="Content-Security-Policy" content="${policy}">`)
    .replace(/^<html lang="ja">$/m, '<html lang="ja" data-host="pane">')
    .replace(/^<script>$/gm, `<script nonce="${nonce}">`)
    .replace(/^<style>$/gm, `<style nonce="${nonce}">`);
  if (!made.includes('data-host="pane"') || !made.includes(policy)) throw new Error('the reader page is not the one this extension knows');
  return made;
}

class PlayPanel {
  constructor(context, client) {
    this.context = context;
    this.client = client;
    this.panel = null;
    this.uri = null;     // the document the panel plays
    this.last = null;    // the last story handed to the page, sent again when the page starts
    this.timer = null;
    context.subscriptions.push(vscode.workspace.onDidChangeTextDocument((change) => {
      if (!this.panel || change.document.uri.toString() !== this.uri || change.contentChanges.length === 0) return;
      clearTimeout(this.timer);
      this.timer = setTimeout(() => this.Load(null).catch((error) => this.Fail(error)), kReplayDelayMs);
    }));
  }

  Fail(error) {
    vscode.window.showErrorMessage(`Quillshade: ${error && error.message ? error.message : error}`);
  }

  Open() {
    if (this.panel) {
      this.panel.reveal(vscode.ViewColumn.Beside, true);
      return;
    }
    const file = vscode.Uri.joinPath(this.context.extensionUri, ...kPage).fsPath;
    let page;
    try {
      page = fs.readFileSync(file, 'utf8');
    } catch {
      throw new Error(`the reader page ${file} is missing from the extension`);
    }
    this.panel = vscode.window.createWebviewPanel('quillshade.play', 'Quillshade', { viewColumn: vscode.ViewColumn.Beside, preserveFocus: true },
      { enableScripts: true, retainContextWhenHidden: true, localResourceRoots: [] });
    this.panel.webview.onDidReceiveMessage((message) => this.Heard(message));
    this.panel.onDidDispose(() => { this.panel = null; this.last = null; clearTimeout(this.timer); });
    this.panel.webview.html = PanelPage(page);
  }

  Heard(message) {
    if (!message || !this.panel) return;
    if (message.type === 'ready' && this.last) this.panel.webview.postMessage(this.last);
    // The page's title is the caption as the desktop's title bar shows it.
    if (message.type === 'title' && typeof message.title === 'string') this.panel.title = message.title;
    if (message.type === 'replayed' && message.diverged) {
      const keys = String(message.keys);
      vscode.window.setStatusBarMessage(`Quillshade: the story now parts from the keys played after ${message.played} of ` +
        `${keys.length} (${keys.slice(0, message.played)}|${keys.slice(message.played)})`, 10000);
    }
  }

  // Plays the document from its start, or to a line (0-based) by its shortest way in.
  async Play(document, line, fromStart) {
    this.uri = document.uri.toString();
    this.Open();
    await this.Load(line, fromStart);
  }

  async Load(line, fromStart = false) {
    const params = { textDocument: { uri: this.uri } };
    if (line !== null) params.line = line;
    const answer = await this.client().sendRequest('quillshade/play', params);
    if (!this.panel) return;
    const start = line !== null || fromStart;
    // A new text alone: the page replays on it the keys it played.
    const message = start ? { type: 'load', codes: answer.codes, keys: answer.keys, arriving: answer.arriving }
      : { type: 'load', codes: answer.codes };
    // What a page that starts anew is handed: the last start, on the newest text.
    this.last = start || !this.last ? { keys: '', arriving: '', ...message } : { ...this.last, codes: answer.codes };
    this.panel.webview.postMessage(message);
  }
}

// The commands Play, Play from here and the lenses' play to here.
function RegisterPlayPanel(context, client) {
  vscode = require('vscode');
  const panel = new PlayPanel(context, client);
  const Guard = (work) => async (...args) => {
    try {
      await work(...args);
    } catch (error) {
      panel.Fail(error);
    }
  };
  const Editor = () => {
    const editor = vscode.window.activeTextEditor;
    if (!editor || editor.document.languageId !== 'quillshade-story') throw new Error('open a story first, then play it');
    return editor;
  };
  context.subscriptions.push(
    vscode.commands.registerCommand('quillshade.play', Guard(() => panel.Play(Editor().document, null, true))),
    vscode.commands.registerCommand('quillshade.playHere', Guard(() => {
      const editor = Editor();
      return panel.Play(editor.document, editor.selection.active.line, false);
    })),
    vscode.commands.registerCommand('quillshade.playTo', Guard(async (uri, line) => {
      const document = await vscode.workspace.openTextDocument(vscode.Uri.parse(String(uri)));
      return panel.Play(document, Number(line), false);
    })));
}

module.exports = { RegisterPlayPanel, PanelPage };
