package com.orlena.tessel.brevant.inprocess;

import java.io.IOException;
import java.nio.file.Path;
import java.util.logging.FileHandler;
import java.util.logging.Logger;
import java.util.logging.SimpleFormatter;

/**
 * In-process, the container's log (deployments, and why an application could not be
 * deployed) also goes to a file in the data directory: IIS keeps no standard error, where
 * the JVM writes it by default. An administrator who configured java.util.logging
 * (java.util.logging.config.file or .class in vmoptions.properties) gets only that.
 */
public final class ContainerLog {
    public static final String FILE_NAME = "Tomcat.log";

    private ContainerLog() {
    }

    /** Appends the root logger's records to FILE_NAME in the folder, unless logging is configured. */
    public static void writeTo(Path folder) throws IOException {
        if (System.getProperty("java.util.logging.config.file") != null
            || System.getProperty("java.util.logging.config.class") != null) {
            return;
        }
        // The handler takes a pattern in which "%" is special.
        String pattern = folder.resolve(FILE_NAME).toString().replace("%", "%%");
        FileHandler file = new FileHandler(pattern, true);
        file.setEncoding("UTF-8");
        file.setFormatter(new SimpleFormatter());
        Logger.getLogger("").addHandler(file);
    }
}
