package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Comparator;
import java.util.stream.Stream;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

/**
 * The connector finds the engine's methods by name and JNI descriptor and the natives by
 * name and Java types, so a drift in either only shows on a real IIS; these tests pin them.
 */
public class EngineContractTest {
    private Path dir;

    @Before
    public void makeDirectory() throws IOException {
        dir = Files.createTempDirectory("brevant-contract");
    }

    @After
    public void removeDirectory() throws IOException {
        Brevant.loadDataFiles(null);
        try (Stream<Path> all = Files.walk(dir)) {
            all.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        }
    }

    private static String descriptor(Class<?> type) {
        if (type.isArray()) {
            return "[" + descriptor(type.getComponentType());
        }
        if (type == void.class) return "V";
        if (type == boolean.class) return "Z";
        if (type == byte.class) return "B";
        if (type == int.class) return "I";
        return "L" + type.getName().replace('.', '/') + ";";
    }

    private static String descriptor(Method m) {
        StringBuilder d = new StringBuilder("(");
        for (Class<?> p : m.getParameterTypes()) {
            d.append(descriptor(p));
        }
        return d.append(')').append(descriptor(m.getReturnType())).toString();
    }

    private static Method only(Class<?> type, String name) {
        Method found = null;
        for (Method m : type.getDeclaredMethods()) {
            if (m.getName().equals(name)) {
                assertEquals("one method named " + name, null, found);
                found = m;
            }
        }
        assertTrue("no method " + name, found != null);
        return found;
    }

    private static void assertStatic(Class<?> type, String name, String expected) {
        Method m = only(type, name);
        assertTrue(name + " is public static",
                   Modifier.isStatic(m.getModifiers()) && Modifier.isPublic(m.getModifiers()));
        assertEquals(name, expected, descriptor(m));
    }

    @Test
    public void engineMethodsHaveTheConnectorsDescriptors() throws Exception {
        Class<?> brevant = Class.forName("com.orlena.tessel.brevant.Brevant");
        assertStatic(brevant, "Init",
            "(Ljava/lang/String;ILjava/lang/String;ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)B");
        assertStatic(brevant, "getInitMsg", "()Ljava/lang/String;");
        assertStatic(brevant, "setServerInfo", "(Ljava/lang/String;)V");
        assertStatic(brevant, "ProcessRequest",
            "(Ljava/lang/String;[BLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;ZLjava/lang/String;Ljava/lang/String;)[B");
        assertStatic(brevant, "isServletAlias", "(Ljava/lang/String;Ljava/lang/String;)Z");
        assertStatic(brevant, "authIISRequest",
            "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Z");
        assertStatic(brevant, "Shutdown", "()V");
    }

    @Test
    public void nativesHaveTheConnectorsTypes() throws Exception {
        Class<?> lib = Class.forName("com.orlena.tessel.brevant.ISAPINativeLib");
        String[][] natives = {
            {"writeHeaders", "(I[B[B)Z"},
            {"writeClient", "(I[BIZ)B"},
            {"readClient", "(II)[B"},
            {"bytesAvailable", "(I)I"},
            {"outputDebugString", "([B)V"},
            {"getRealPath", "(ILjava/lang/String;)Ljava/lang/String;"},
            {"enableIISSecurity", "()V"},
            {"disableIISSecurity", "()V"},
            {"getClientCertificate", "(I)Ljava/lang/String;"},
        };
        int count = 0;
        for (Method m : lib.getDeclaredMethods()) {
            if (Modifier.isNative(m.getModifiers())) {
                count++;
            }
        }
        assertEquals(natives.length, count);
        for (String[] n : natives) {
            Method m = only(lib, n[0]);
            assertTrue(n[0] + " is native", Modifier.isNative(m.getModifiers()));
            assertEquals(n[0], n[1], descriptor(m));
        }
    }

    private byte init(String servlets, String library) {
        return Brevant.Init("Microsoft IIS", 0, "", 0, dir.toString(), servlets, library);
    }

    @Test
    public void initFailsWithoutServletsDirectory() {
        String missing = dir.resolve("no-such-servlets").toString();
        assertEquals(Brevant.INIT_NO_SERVLETS_DIRECTORY, init(missing, "/nowhere/libx.so"));
        String msg = Brevant.getInitMsg();
        assertTrue(msg, msg.contains("servlets directory") && msg.contains(missing));
    }

    @Test
    public void initFailsWhenLibraryCannotBeLoaded() throws IOException {
        Path servlets = Files.createDirectory(dir.resolve("servlets"));
        String library = dir.resolve("missing-connector.so").toString();
        assertEquals(Brevant.INIT_LIBRARY_NOT_LOADED, init(servlets.toString(), library));
        String msg = Brevant.getInitMsg();
        assertTrue(msg, msg.contains("connector library") && msg.contains(library));

        Path notALibrary = Files.write(dir.resolve("garbage.so"), new byte[] {1, 2, 3});
        assertEquals(Brevant.INIT_LIBRARY_NOT_LOADED, init(servlets.toString(), notALibrary.toString()));
        assertEquals(Brevant.INIT_LIBRARY_NOT_LOADED, init(servlets.toString(), "relative/lib.so"));
        assertEquals(Brevant.INIT_LIBRARY_NOT_LOADED, init(servlets.toString(), null));
        assertFalse(Brevant.getInitMsg().isEmpty());
    }

    private void write(String name, String text) throws IOException {
        Files.write(dir.resolve(name), text.getBytes(StandardCharsets.UTF_8));
    }

    @Test
    public void aliasesComeFromTheAliasFile() throws IOException {
        Brevant.loadDataFiles(dir);
        assertTrue(Brevant.isServletAlias("/servlet/Hello?x=1", null));
        assertFalse(Brevant.isServletAlias("/app/page", null));

        write("aliases.txt", "# engine URLs\n/app/\n\n.jsp\n");
        Brevant.loadDataFiles(dir);
        assertTrue(Brevant.isServletAlias("/app/page", "example.com"));
        assertTrue(Brevant.isServletAlias("/shop/index.jsp?item=3", null));
        assertFalse(Brevant.isServletAlias("/shop/index.jsp.html", null));
        assertFalse(Brevant.isServletAlias("/apple/x", null));
        assertFalse(Brevant.isServletAlias("/index.html?q=.jsp", null));
        assertFalse(Brevant.isServletAlias(null, null));
    }

    @Test
    public void accessComesFromTheRulesFile() throws IOException {
        Brevant.loadDataFiles(dir);
        assertTrue(Brevant.authIISRequest("/servlet/Hello", null, null, null));

        write("access.txt", "# prefix user\n/servlet/Admin alice\n/servlet/Admin Bob\n/private/ *\n");
        Brevant.loadDataFiles(dir);
        assertTrue(Brevant.authIISRequest("/servlet/Admin", "h", "alice", "pw"));
        assertTrue(Brevant.authIISRequest("/servlet/Admin?x", null, "BOB", null));
        assertFalse(Brevant.authIISRequest("/servlet/Admin", null, "carol", null));
        assertFalse(Brevant.authIISRequest("/servlet/Admin", null, null, null));
        assertTrue(Brevant.authIISRequest("/private/doc", null, "carol", null));
        assertFalse(Brevant.authIISRequest("/private/doc", null, null, null));
        assertTrue(Brevant.authIISRequest("/servlet/Hello", null, null, null));
    }
}
