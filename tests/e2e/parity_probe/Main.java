package parity;

import java.io.File;

/**
 * The program that the parity tests start once through the runtime's java.exe and once
 * through the launcher. It prints what a Java program can observe of how it was started,
 * as "key: value" lines with non-ASCII text escaped, so that the two runs compare as text.
 */
public final class Main {
    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "report";
        switch (mode) {
            case "exit":
                System.exit(Integer.parseInt(args[1]));
                break;
            case "halt":
                Runtime.getRuntime().halt(Integer.parseInt(args[1]));
                break;
            case "throw":
                throw new IllegalStateException("boom");
            case "threads":
                Runtime.getRuntime().addShutdownHook(new Thread(() -> say("hook", "ran")));
                Thread worker = new Thread(() -> {
                    sleep(1500);
                    say("thread", "done");
                });
                worker.start();
                say("main", "returned");
                break;
            case "thread-locale":
                // The library's path comes second: the same file for java.exe and the launcher.
                System.load(args[1]);
                say("threadLocale", String.format("0x%x", threadLocale()));
                break;
            case "stack":
                // The JNI library's path follows: the library path differs by design.
                System.load(args[1]);
                say("mainStackReserve", String.valueOf(stackReserve()));
                long[] reserve = new long[1];
                Thread thread = new Thread(() -> reserve[0] = stackReserve());
                thread.start();
                thread.join();
                say("threadStackReserve", String.valueOf(reserve[0]));
                break;
            case "module":
                say("module", String.valueOf(Class.forName("lib.Lib").getModule().getName()));
                break;
            default:
                report(args);
        }
    }

    /** GetThreadLocale() of the calling thread (tests/tools/thread_locale). */
    static native int threadLocale();

    static void report(String[] args) {
        for (String argument : args) say("arg", "[" + escape(argument) + "]");
        for (String name : new String[] {"java.class.path", "user.dir", "sun.java.command",
                                         "sun.java.launcher", "parity.value"}) {
            say(name, escape(String.valueOf(System.getProperty(name))));
        }
        String[] library = System.getProperty("java.library.path", "").split(File.pathSeparator, -1);
        int empty = 0;
        for (String entry : library) if (entry.isEmpty()) empty++;
        say("libraryPathEmptyEntries", String.valueOf(empty));
        say("libraryPathLast", library[library.length - 1]);
        // A resource that only the current folder holds: found only when the current folder
        // is on the class path.
        say("currentFolderResource", String.valueOf(ClassLoader.getSystemResource("planted.txt") != null));
    }

    /** The current thread's reserved stack in bytes (stack_probe.dll). */
    static native long stackReserve();

    static void say(String key, String value) {
        System.out.println(key + ": " + value);
        System.out.flush();
    }

    static void sleep(long millis) {
        try {
            Thread.sleep(millis);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    static String escape(String text) {
        StringBuilder result = new StringBuilder();
        for (char c : text.toCharArray()) {
            if (c >= 0x20 && c < 0x7F && c != '\\') result.append(c);
            else result.append(String.format("\\u%04x", (int) c));
        }
        return result.toString();
    }
}
