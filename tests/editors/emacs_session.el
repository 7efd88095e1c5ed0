;;; emacs_session.el --- an Emacs session against qsd lsp, written down as the Neovim one is  -*- lexical-binding: t -*-

;; Loads the README's configuration (editors/emacs/quillshade-story.el and eglot-ensure),
;; opens a story with planted faults, waits for flymake's diagnostics, jumps to a
;; definition with xref, renames a label, reads a hover as plain text, completes a label
;; with M-TAB, then shuts eglot down: the shutdown must be answered and the server must
;; end by itself, with status 0, once it is told to exit.
;; Run as: STORY=... OUT=... MODE=.../quillshade-story.el emacs --batch -l emacs_session.el
;; with the qsd to test first on PATH.

(require 'eglot)
(require 'xref)
(load (getenv "MODE") nil t)
(add-hook 'quillshade-story-mode-hook #'eglot-ensure)

(defvar session-lines nil)
(defun session-note (format-string &rest args)
  (push (apply #'format format-string args) session-lines))

(defun session-wait-for (what condition)
  (let ((deadline (+ (float-time) 20)))
    (while (not (funcall condition))
      (when (> (float-time) deadline) (error "timed out waiting for %s" what))
      ;; A batch Emacs never goes idle by itself: run what an idle editor would, such
      ;; as eglot's sending of the changes.
      (dolist (timer (copy-sequence timer-idle-list))
        (timer-event-handler timer))
      (accept-process-output nil 0.02))))

;; The version of the document the last diagnostics were computed for.
(defvar session-diagnosed-version nil)
(advice-add 'eglot-handle-notification :before
            (lambda (_server method &rest params)
              (when (eq method 'textDocument/publishDiagnostics)
                (setq session-diagnosed-version (plist-get params :version)))))

(defun session-current-p ()
  (and (equal session-diagnosed-version eglot--versioned-identifier)
       (progn (flymake-start) (memq 'eglot-flymake-backend (flymake-reporting-backends)))))

(defun session-position (pos)
  (save-excursion (goto-char pos) (cons (line-number-at-pos) (current-column))))

(defun session-note-diagnostics (title)
  (session-note title)
  (dolist (d (sort (flymake-diagnostics)
                   (lambda (a b) (< (flymake-diagnostic-beg a) (flymake-diagnostic-beg b)))))
    (let ((beg (session-position (flymake-diagnostic-beg d)))
          (end (session-position (flymake-diagnostic-end d)))
          (text (flymake-diagnostic-text d)))
      (session-note "  %d:%d-%d:%d %s %s" (car beg) (cdr beg) (car end) (cdr end)
                    (if (eq (flymake-diagnostic-type d) 'eglot-error) "error" "warning")
                    ;; eglot writes the code in brackets before the message.
                    (if (string-match "\\`[^[]*\\[\\([^]]+\\)\\]" text) (match-string 1 text) text)))))

;; eglot-shutdown deletes the server process right after sending exit; wait first to
;; see whether the server ends by itself, as it must.
(defvar session-server-ended nil)
(advice-add 'jsonrpc-shutdown :before
            (lambda (server &rest _)
              (let ((process (jsonrpc--process server))
                    (deadline (+ (float-time) 5)))
                (while (and (process-live-p process) (< (float-time) deadline))
                  (accept-process-output nil 0.02))
                (setq session-server-ended
                      (if (process-live-p process) 'running (process-exit-status process))))))

(defun session ()
  (find-file (getenv "STORY"))
  (unless (eq major-mode 'quillshade-story-mode) (error "the story opened in %s" major-mode))
  ;; The mode's own colours: the first line's label, its choice marker and its choices.
  (font-lock-ensure)
  (dolist (expected '((1 . quillshade-story-prefix) (38 . quillshade-story-marker)
                      (41 . quillshade-story-choices) (16 . nil)))
    (let ((face (get-text-property (car expected) 'face)))
      (unless (eq face (cdr expected))
        (error "character %d is coloured %s, not %s" (car expected) face (cdr expected)))))
  ;; The command loop runs this hook after a command; eglot-ensure connects from it.
  (run-hooks 'post-command-hook)
  (session-wait-for "the server" #'eglot-current-server)
  (session-wait-for "the first diagnostics" #'session-current-p)
  (session-note-diagnostics "diagnostics:")

  ;; The jump on line 4 goes to the line that begins with its label.
  (goto-char (point-min))
  (forward-line 3)
  (move-to-column 22)
  (call-interactively #'xref-find-definitions)
  (let ((at (session-position (point))))
    (when (= (car at) 4) (error "the definition did not move the cursor"))
    (session-note "definition: line %d, column %d" (car at) (cdr at)))

  ;; Renaming the label there renames it wherever a jump names it.
  (goto-char (point-min))
  (forward-line 4)
  (move-to-column 2)
  (eglot-rename "forest")
  (session-wait-for "the diagnostics after the rename" #'session-current-p)
  (session-note "buffer:")
  (dolist (text (split-string (buffer-string) "\n" t))
    (session-note "  %s" text))
  (session-note-diagnostics "diagnostics after the rename:")

  ;; eglot without a Markdown mode (the test stage installs none) asks for plain text,
  ;; and the hover must come so.
  (goto-char (point-min))
  (let ((hover nil)
        (expected (if (fboundp 'gfm-view-mode) "" "Line 1 shows 'The fox waits by the shrine.'")))
    (eglot-hover-eldoc-function (lambda (info &rest _) (setq hover (or info ""))))
    (session-wait-for "the hover" (lambda () hover))
    (unless (string-prefix-p expected hover)
      (error "the hover is not plain text: %S" hover)))

  ;; The labels offered are filtered by the word typed, as a completion list does while
  ;; one types on ("fo" of "[fo"), and M-TAB completes from them.
  (goto-char (point-max))
  (insert "Go >> [fo")
  (pcase-let* ((`(,beg ,end ,table . ,_) (eglot-completion-at-point))
               (offered (all-completions (buffer-substring beg end) table)))
    (unless (equal offered '("forest]")) (error "typed %S, offered %S" (buffer-substring beg end) offered)))
  (let ((command (key-binding (kbd "M-TAB"))))
    (unless (eq command 'completion-at-point) (error "M-TAB runs %s" command))
    (call-interactively command))
  (let ((line (buffer-substring (line-beginning-position) (point))))
    (unless (equal line "Go >> [forest]") (error "the completed line is %S" line)))

  (let ((server (eglot-current-server)))
    (condition-case problem
        (eglot-shutdown server)
      (error (error "the shutdown was refused: %s" (error-message-string problem))))
    (pcase session-server-ended
      (0 nil)
      ('running (error "the server still runs 5 s after exit"))
      (status (error "the server ended with status %s after shutdown and exit" status)))))

(let ((failure (condition-case problem (progn (session) nil)
                 (error (session-note "failed: %s" (error-message-string problem)) t))))
  (with-temp-file (getenv "OUT")
    (insert (mapconcat #'identity (reverse session-lines) "\n") "\n"))
  (kill-emacs (if failure 1 0)))
