;;; emacs_parts.el --- Emacs's reading of a story, one letter per character, for compare_grammars.sh  -*- lexical-binding: t -*-

;; Colours a story with editors/emacs/quillshade-story.el and writes, for each line, the
;; engine's name of the part each character stands in (tests/editors/script_parts.cpp
;; says them).
;; Run as: STORY=... OUT=... MODE=.../quillshade-story.el emacs --batch -l emacs_parts.el

(load (getenv "MODE") nil t)

(defconst parts-of-faces
  '((quillshade-story-prefix . "p") (quillshade-story-keyword . "k") (quillshade-story-end . "e")
    (quillshade-story-flag . "f") (quillshade-story-jump . "j") (quillshade-story-labels . "l")
    (quillshade-story-target . "t") (quillshade-story-commands . "c") (quillshade-story-choices . "q"))
  "The part each face shows, the first that a character has winning.")

(defun parts-letter (pos)
  (let* ((face (get-text-property pos 'face))
         (faces (if (listp face) face (list face))))
    (cond ((memq (char-after pos) '(?\s ?\t)) "_")
          ;; "::" and "??" are coloured as markers; the engine counts them with what follows.
          ((memq 'quillshade-story-marker faces) (if (eq (char-after pos) ?:) "c" "q"))
          (t (or (cl-some (lambda (part) (and (memq (car part) faces) (cdr part))) parts-of-faces) ".")))))

(let ((rows nil)
      (coding-system-for-read 'utf-8))
  (find-file (getenv "STORY"))
  (quillshade-story-mode)
  (font-lock-ensure)
  (goto-char (point-min))
  (while (not (eobp))
    (let ((end (line-end-position))
          (row ""))
      ;; A CR left at the end of a line (a file whose lines end alike in neither way).
      (when (and (> end (point)) (eq (char-before end) ?\r)) (setq end (1- end)))
      (while (< (point) end)
        (setq row (concat row (parts-letter (point))))
        (forward-char 1))
      (push row rows))
    (forward-line 1))
  (with-temp-file (getenv "OUT")
    (insert (mapconcat #'identity (reverse rows) "\n") "\n"))
  (kill-emacs 0))
