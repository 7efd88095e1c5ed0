;;; quillshade-story.el --- Quillshade story sources: a major mode and the qsd lsp server entry  -*- lexical-binding: t -*-

;; Load this file, then start the server in every story with
;;   (add-hook 'quillshade-story-mode-hook #'eglot-ensure)
;; `.qsd' story files and `*.story.txt' sources open in the mode by themselves; other
;; `.txt' files stay plain text (M-x quillshade-story-mode reads one as a story).
;;
;; The colours follow the token rules of the TextMate grammar in
;; editors/vscode/syntaxes/ and the Vim syntax in editors/vim/syntax/: a line is split
;; at its first "??", then at the first "::", then at the first ">>"; a "[" that opens the
;; trimmed line begins a hidden prefix up to the first "]"; the full-width markers are
;; plain text to the reader and shown as mistakes. The server's own diagnostics and
;; semantic colours come on top.

;;; Code:

(defgroup quillshade-story nil
  "Quillshade story sources."
  :group 'text)

(defcustom quillshade-story-qsd-program "qsd"
  "The qsd program that runs the language server (`qsd lsp')."
  :type 'string)

(defconst quillshade-story--font-lock-keywords
  `(;; A hidden prefix: "[" first on the line (after spaces) up to the first "]".
    ("^ *\\(\\[[^]\n]*\\]\\)" 1 font-lock-function-name-face)
    ;; The choice list: everything after the first "??".
    ("\\?\\?\\(.*\\)$" 1 font-lock-constant-face)
    ("\\?\\?" 0 font-lock-keyword-face t)
    ;; Commands: after the first "::" that stands before any "??".
    ("^\\(?:[^?:\n]\\|\\?[^?\n]\\|:[^:\n]\\)*\\(::\\)\\(\\(?:[^?\n]\\|\\?[^?\n]\\)*\\)"
     (1 font-lock-keyword-face t)
     (2 font-lock-builtin-face t))
    ;; A jump: the first ">>" before any "::" or "??"; a capital A to E after it asks a flag.
    ("^\\(?:[^>?:\n]\\|>[^>\n]\\|\\?[^?\n]\\|:[^:\n]\\)*\\(>>[A-E]?\\)\\(\\(?:[^?:\n]\\|\\?[^?\n]\\|:[^:\n]\\)*\\)"
     (1 font-lock-keyword-face t)
     (2 font-lock-function-name-face t))
    ;; Markers an input method types in full width: the reader takes them as plain text.
    ("？？\\|：：\\|＞＞\\|［\\|］" 0 font-lock-warning-face t))
  "Colours of the parts of a story line.")

;;;###autoload
(define-derived-mode quillshade-story-mode text-mode "Story"
  "Major mode for Quillshade story sources and story files."
  (setq-local font-lock-defaults '(quillshade-story--font-lock-keywords t)))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.qsd\\'" . quillshade-story-mode))
;;;###autoload
(add-to-list 'auto-mode-alist '("\\.story\\.txt\\'" . quillshade-story-mode))

(with-eval-after-load 'eglot
  (defvar eglot-server-programs)
  (add-to-list 'eglot-server-programs
               `(quillshade-story-mode . ,(lambda (&optional _interactive) (list quillshade-story-qsd-program "lsp")))))

(provide 'quillshade-story)
;;; quillshade-story.el ends here
