;;; quillshade-story.el --- Quillshade story sources: a major mode and the qsd lsp server entry  -*- lexical-binding: t -*-

;; Load this file, then start the server in every story with
;;   (add-hook 'quillshade-story-mode-hook #'eglot-ensure)
;; `.qsd' story files and `*.story.txt' sources open in the mode by themselves; other
;; `.txt' files stay plain text (M-x quillshade-story-mode reads one as a story).
;;
;; The colours follow the token rules of the TextMate grammar in
;; editors/vscode/syntaxes/ and the Vim syntax in editors/vim/syntax/, and
;; tests/editors/compare_grammars.sh holds all three to the reader's own split of every
;; line (see `quillshade-story--line-parts'); the full-width markers are plain text to the
;; reader and shown as mistakes. The server's own diagnostics and semantic colours come on
;; top.

;;; Code:

(require 'cl-lib)

(defgroup quillshade-story nil
  "Quillshade story sources."
  :group 'text)

(defcustom quillshade-story-qsd-program "qsd"
  "The qsd program that runs the language server (`qsd lsp')."
  :type 'string)

;; One face for each part of a line, so that a theme or the user may colour each apart.
(defface quillshade-story-prefix '((t :inherit font-lock-function-name-face))
  "A line's hidden prefix.")
(defface quillshade-story-jump '((t :inherit font-lock-keyword-face))
  "A jump's \">>\", and the character skipped after it when a later \">>A\" .. \">>E\" decides the flag.")
(defface quillshade-story-flag '((t :inherit font-lock-constant-face))
  "The flag letter right after \">>\".")
(defface quillshade-story-target '((t :inherit font-lock-function-name-face))
  "A plain jump's target.")
(defface quillshade-story-labels '((t :inherit font-lock-function-name-face))
  "A jump on a flag's labels.")
(defface quillshade-story-marker '((t :inherit font-lock-keyword-face))
  "The \"::\" before commands and the \"??\" before choices.")
(defface quillshade-story-commands '((t :inherit font-lock-builtin-face))
  "A line's command text.")
(defface quillshade-story-keyword '((t :inherit font-lock-keyword-face))
  "A command that sets or clears a flag.")
(defface quillshade-story-end '((t :inherit font-lock-warning-face))
  "The command END.")
(defface quillshade-story-choices '((t :inherit font-lock-constant-face))
  "A line's choice list.")

(defun quillshade-story--find (marker from to)
  "Where MARKER first stands wholly inside FROM .. TO of the line at point, or nil."
  (save-excursion
    (goto-char from)
    (let ((case-fold-search nil))
      (and (search-forward marker to t) (- (point) (length marker))))))

(defun quillshade-story--trimmed (from to)
  "FROM .. TO without the spaces at either end, as (FROM . TO)."
  (save-excursion
    (goto-char from)
    (skip-chars-forward " " to)
    (let ((start (point)))
      (goto-char to)
      (skip-chars-backward " " start)
      (cons start (point)))))

(defun quillshade-story--line-parts ()
  "The parts of the line at point as the reader splits it, as match data in groups:
1 prefix, 2 the jump's \">>\" (and the character skipped after it), 3 the flag, 4 a
plain jump's target, 5 a jump on a flag's labels, 6 \"::\", 7 commands, 8 \"??\",
9 choices.  The line is trimmed of spaces; a \"[\" that opens it hides a prefix up to
the first \"]\"; the rest is split at its first \"??\", what is left at its first
\"::\", and what is left then at its first \">>\".  It is a jump on a flag when \">>A\"
.. \">>E\" stands anywhere in that, the flags tried in that order, and its labels begin
one character after the first \">>\"."
  (let* ((bol (line-beginning-position))
         (line (quillshade-story--trimmed bol (line-end-position)))
         (from (car line))
         (to (cdr line))
         (groups (make-vector 20 nil)))
    (cl-flet ((put (group range) (aset groups (* 2 group) (car range)) (aset groups (1+ (* 2 group)) (cdr range))))
      (when (and (< from to) (eq (char-after from) ?\[))
        (let ((close (quillshade-story--find "]" from to)))
          (when close
            (put 1 (cons from (1+ close)))
            (setq from (car (quillshade-story--trimmed (1+ close) to))))))
      (let ((at (quillshade-story--find "??" from to)))
        (when at
          (put 8 (cons at (+ at 2)))
          (put 9 (quillshade-story--trimmed (+ at 2) to))
          (setq to (cdr (quillshade-story--trimmed from at)))))
      (let ((at (quillshade-story--find "::" from to)))
        (when at
          (put 6 (cons at (+ at 2)))
          (put 7 (quillshade-story--trimmed (+ at 2) to))
          (setq to (cdr (quillshade-story--trimmed from at)))))
      (let ((at (quillshade-story--find ">>" from to)))
        (when at
          (let ((flag (cl-some (lambda (letter) (quillshade-story--find (string ?> ?> letter) from to))
                               '(?A ?B ?C ?D ?E))))
            (cond ((null flag)
                   (put 2 (cons at (+ at 2)))
                   (put 4 (quillshade-story--trimmed (+ at 2) to)))
                  (t
                   (if (= flag at)
                       (progn (put 2 (cons at (+ at 2))) (put 3 (cons (+ at 2) (+ at 3))))
                     (put 2 (cons at (+ at 3))))
                   (put 5 (quillshade-story--trimmed (+ at 3) to))))))))
    (aset groups 0 bol)
    (aset groups 1 (line-end-position))
    (set-match-data (append groups nil))))

(defun quillshade-story--match-line (limit)
  "Font-lock matcher: the parts of the next line before LIMIT."
  (when (< (point) limit)
    (beginning-of-line)
    (quillshade-story--line-parts)
    (forward-line 1)
    t))

(defun quillshade-story--match-keyword (limit)
  "Font-lock matcher: the next command keyword before LIMIT, group 1 set for END.
Keywords are found in any case, even inside longer words, from the left."
  (let ((case-fold-search nil)
        (found nil))
    (while (and (not found)
                (re-search-forward "\\([Ee][Nn][Dd]\\)\\|[A-Ea-e][Oo]\\(?:[Ff][Ff]\\|[Nn]\\)" limit t))
      (let ((data (match-data)))
        (save-excursion (quillshade-story--line-parts)
                        (setq found (and (match-beginning 7)
                                         (>= (nth 0 data) (match-beginning 7))
                                         (<= (nth 1 data) (match-end 7)))))
        (set-match-data data)))
    found))

(defconst quillshade-story--font-lock-keywords
  '((quillshade-story--match-line
     (1 'quillshade-story-prefix nil t)
     (2 'quillshade-story-jump nil t)
     (3 'quillshade-story-flag nil t)
     (4 'quillshade-story-target nil t)
     (5 'quillshade-story-labels nil t)
     (6 'quillshade-story-marker nil t)
     (7 'quillshade-story-commands nil t)
     (8 'quillshade-story-marker nil t)
     (9 'quillshade-story-choices nil t))
    (quillshade-story--match-keyword
     (0 (if (match-beginning 1) 'quillshade-story-end 'quillshade-story-keyword) t))
    ;; Markers an input method types in full width: the reader takes them as plain text.
    ("？？\\|：：\\|＞＞\\|［\\|］" 0 font-lock-warning-face prepend))
  "Colours of the parts of a story line.")

(defvar quillshade-story-mode-map
  (let ((map (make-sparse-keymap)))
    ;; Text mode's M-TAB completes words from the spelling dictionary; in a story it
    ;; completes what the server offers: labels after ">>" and "??", keywords after "::".
    (define-key map (kbd "M-TAB") #'completion-at-point)
    map)
  "Keys of `quillshade-story-mode'.")

;;;###autoload
(define-derived-mode quillshade-story-mode text-mode "Story"
  "Major mode for Quillshade story sources and story files."
  (setq-local font-lock-defaults '(quillshade-story--font-lock-keywords t)))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.qsd\\'" . quillshade-story-mode))
;;;###autoload
(add-to-list 'auto-mode-alist '("\\.story\\.txt\\'" . quillshade-story-mode))

;; Playing the story to the line at point: `qsd play --to' in a terminal buffer.
(declare-function term-mode "term")
(declare-function term-char-mode "term")

(defun quillshade-story--play-file ()
  "The file to play: the buffer's own, or a copy of its text.
The copy stands in while the buffer has unsaved changes."
  (if (and buffer-file-name (not (buffer-modified-p)))
      buffer-file-name
    (let ((coding-system-for-write 'utf-8-unix))
      (make-temp-file "quillshade-play-" nil ".txt" (buffer-substring-no-properties (point-min) (point-max))))))

;;;###autoload
(defun quillshade-story-play-here ()
  "Play the story to the line at point by its shortest way in, in a terminal.
Runs `qsd play --to LINE' on the story as the buffer holds it, unsaved edits
included; then the story's keys play on in the terminal."
  (interactive)
  (require 'term)
  (let ((line (number-to-string (line-number-at-pos)))
        (file (quillshade-story--play-file))
        (name "*quillshade-play*"))
    ;; One play at a time: the last one's buffer, and its process, make way.
    (when (get-buffer name)
      (let ((kill-buffer-query-functions nil)) (kill-buffer name)))
    (let* ((buffer (make-term "quillshade-play" quillshade-story-qsd-program nil "play" "--to" line file))
           (process (get-buffer-process buffer)))
      ;; A copy of unsaved text goes once the play ends.
      (when (and process (not (equal file buffer-file-name)))
        (add-function :after (process-sentinel process)
                      (lambda (proc _event)
                        (unless (process-live-p proc) (ignore-errors (delete-file file))))))
      (with-current-buffer buffer
        (term-mode)
        (term-char-mode))
      (pop-to-buffer buffer))))

(with-eval-after-load 'eglot
  (defvar eglot-server-programs)
  (add-to-list 'eglot-server-programs
               `(quillshade-story-mode . ,(lambda (&optional _interactive) (list quillshade-story-qsd-program "lsp")))))

(provide 'quillshade-story)
;;; quillshade-story.el ends here
